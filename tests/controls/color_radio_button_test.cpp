#include "controls/color_radio_button.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QStyle>
#include <QStyleOptionButton>
#include <array>

#include "controls/render.h"

namespace b6409 {
namespace {

using test::Render;
using test::Text;

bool IsBlueInk(const QColor& c) {
    return c.blue() > 150 && c.red() < 100 && c.green() < 100;
}
bool IsBlackInk(const QColor& c) {
    return c.red() < 80 && c.green() < 80 && c.blue() < 80 && std::abs(c.blue() - c.red()) < 30;
}

// The part of the radio that holds the label, beside the indicator.
QRect LabelArea(const ColorRadioButton& radio) {
    QStyleOptionButton option;
    option.initFrom(&radio);
    option.text = radio.text();
    return radio.style()->subElementRect(QStyle::SE_RadioButtonContents, &option, &radio) &
           radio.rect();
}

enum class Ink { None, Black, Blue };

Ink LabelInk(ColorRadioButton& radio) {
    const QImage image = Render(radio);
    const QRect area = LabelArea(radio);
    const bool blue = !test::BoundingBox(image, area, IsBlueInk).isEmpty();
    const bool black = !test::BoundingBox(image, area, IsBlackInk).isEmpty();
    if (blue == black) return Ink::None;  // neither, or a mixture: both are wrong
    return blue ? Ink::Blue : Ink::Black;
}

TEST(ColorRadioButton, FreshRadioHasABlackLabelOnTheDialogBackground) {
    ColorRadioButton radio("CAN-ID Filter");
    radio.resize(200, 24);
    EXPECT_EQ(LabelInk(radio), Ink::Black);
    const QImage image = Render(radio);
    EXPECT_EQ(test::ColorAt(image, 195, 2), Text(MakeRgb(250, 230, 190)));
    EXPECT_EQ(test::CountOf(image, test::kUnpainted), 0);
}

TEST(ColorRadioButton, ChoiceColourFollowsTheCheckedMember) {
    QWidget dialog;
    std::array<ColorRadioButton*, 3> choice{new ColorRadioButton("Get ModInfo", &dialog),
                                            new ColorRadioButton("Reset Module", &dialog),
                                            new ColorRadioButton("Set Module Data", &dialog)};
    QButtonGroup group;
    for (ColorRadioButton* radio : choice) {
        radio->resize(200, 24);
        group.addButton(radio);
    }
    choice[0]->setChecked(true);
    ColorChoice(choice);
    EXPECT_EQ(LabelInk(*choice[0]), Ink::Blue);
    EXPECT_EQ(LabelInk(*choice[1]), Ink::Black);
    EXPECT_EQ(LabelInk(*choice[2]), Ink::Black);

    // Checking alone leaves the colours to the owner.
    choice[2]->click();
    EXPECT_TRUE(choice[2]->isChecked());
    EXPECT_EQ(LabelInk(*choice[0]), Ink::Blue);
    EXPECT_EQ(LabelInk(*choice[2]), Ink::Black);

    ColorChoice(choice);
    EXPECT_EQ(LabelInk(*choice[0]), Ink::Black);
    EXPECT_EQ(LabelInk(*choice[1]), Ink::Black);
    EXPECT_EQ(LabelInk(*choice[2]), Ink::Blue);
    EXPECT_EQ(choice[2]->TextColor(), kChosenLabelColor);
}

// Setting a colour paints the radio again, also when the colour is the one it already has.
TEST(ColorRadioButton, SettingAColourAlwaysRepaints) {
    ColorRadioButton radio("SCV-1(A)");
    radio.resize(200, 24);
    radio.show();
    test::PaintCounter paints(radio);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return paints.count > 0; }));
    for (Rgb color : {kChosenLabelColor, kChosenLabelColor, kPlainLabelColor}) {
        const int before = paints.count;
        radio.SetTextColor(color);
        EXPECT_TRUE(test::ProcessEventsUntil([&] { return paints.count > before; }));
    }
}

TEST(ColorRadioButton, DisabledRadioGreysItsLabel) {
    ColorRadioButton radio("PCC-4");
    radio.resize(200, 24);
    radio.SetTextColor(kChosenLabelColor);
    radio.setEnabled(false);
    EXPECT_EQ(LabelInk(radio), Ink::None);
}

}  // namespace
}  // namespace b6409
