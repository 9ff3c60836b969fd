#include "controls/cxp_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <memory>

#include "controls/render.h"

namespace b6409 {
namespace {

using test::ColorAt;
using test::Render;
using test::Text;

constexpr Rgb kOutline = MakeRgb(0, 0, 0);
constexpr Rgb kRing = MakeRgb(255, 255, 255);
constexpr Rgb kLeftFrame = MakeRgb(250, 196, 88);
constexpr Rgb kTopFrame = MakeRgb(252, 210, 121);
constexpr Rgb kRightFrame = MakeRgb(251, 202, 106);
constexpr Rgb kBottomFrame = MakeRgb(229, 151, 0);

// Last entries of the four gradient tables: normal, focus, hover, hover and focus.
constexpr Rgb kNormalEnd = MakeRgb(234, 234, 243);
constexpr Rgb kFocusEnd = MakeRgb(234, 234, 240);
constexpr Rgb kHoverEnd = MakeRgb(240, 240, 243);
constexpr Rgb kHoverFocusEnd = MakeRgb(240, 240, 234);

// An 80 x 20 button: the gradient fills x 2..77 and y 2..17.
class CXPButtonTest : public ::testing::Test {
  protected:
    CXPButtonTest() { button.resize(80, 20); }

    void Enter() {
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QCoreApplication::sendEvent(&button, &enter);
    }
    void Move() {
        QMouseEvent move(QEvent::MouseMove, QPointF(12, 11), QPointF(12, 11), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &move);
    }
    void Leave() {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&button, &leave);
    }
    void Hover() {
        Enter();
        Move();
        ASSERT_TRUE(test::ProcessEventsUntil([&] { return button.IsHovering(); }));
    }
    void Focus() {
        button.show();
        button.activateWindow();
        button.setFocus();
        ASSERT_TRUE(test::ProcessEventsUntil([&] { return button.hasFocus(); }));
    }

    // The label's ink: pixels much darker than any gradient or frame colour.
    QRect LabelBox(const QImage& image) const {
        return test::BoundingBox(image, QRect(2, 2, image.width() - 4, image.height() - 4),
                                 [](const QColor& c) { return c.lightness() < 100; });
    }

    CXPButton button;
};

TEST_F(CXPButtonTest, OutlineRingAndGradientOfATwentyPixelButton) {
    const QImage image = Render(button);
    EXPECT_EQ(ColorAt(image, 40, 0), Text(kOutline));
    EXPECT_EQ(ColorAt(image, 40, 1), Text(kRing));
    EXPECT_EQ(ColorAt(image, 40, 2), Text(MakeRgb(253, 253, 254)));  // g[7]
    EXPECT_EQ(ColorAt(image, 40, 16), Text(kNormalEnd));             // g[63]
    EXPECT_EQ(ColorAt(image, 40, 17), Text(kNormalEnd));             // 66 held at 63
    EXPECT_EQ(ColorAt(image, 40, 18), Text(kRing));
    EXPECT_EQ(ColorAt(image, 40, 19), Text(kOutline));
    // Rows are whole and grow darker downward.
    for (int y = 2; y <= 17; ++y) {
        EXPECT_EQ(ColorAt(image, 2, y), ColorAt(image, 40, y)) << y;
        EXPECT_EQ(ColorAt(image, 77, y), ColorAt(image, 40, y)) << y;
        if (y > 2) {
            EXPECT_LE(image.pixelColor(40, y).red(), image.pixelColor(40, y - 1).red());
        }
    }
    EXPECT_EQ(ColorAt(image, 0, 10), Text(kOutline));
    EXPECT_EQ(ColorAt(image, 1, 10), Text(kRing));
    EXPECT_EQ(ColorAt(image, 78, 10), Text(kRing));
    EXPECT_EQ(ColorAt(image, 79, 10), Text(kOutline));
    // Rounded corners leave the parent showing through.
    EXPECT_EQ(ColorAt(image, 0, 0), Text(test::kUnpainted));
    EXPECT_EQ(ColorAt(image, 79, 19), Text(test::kUnpainted));
    // An empty label draws no ink.
    EXPECT_TRUE(LabelBox(image).isEmpty());
}

TEST_F(CXPButtonTest, HoverComesOnlyAfterTheMouseRestsAndGoesOnLeaving) {
    Enter();
    Move();
    Move();
    EXPECT_TRUE(button.IsTracking());
    EXPECT_FALSE(button.IsHovering());  // nothing has waited yet
    EXPECT_EQ(ColorAt(Render(button), 2, 10), ColorAt(Render(button), 40, 10));

    ASSERT_TRUE(test::ProcessEventsUntil([&] { return button.IsHovering(); }));
    Move();  // moving while hovering changes nothing
    EXPECT_TRUE(button.IsHovering());

    Leave();
    EXPECT_FALSE(button.IsHovering());
    EXPECT_FALSE(button.IsTracking());
    const QImage image = Render(button);
    EXPECT_EQ(ColorAt(image, 2, 10), ColorAt(image, 40, 10));
    EXPECT_EQ(ColorAt(image, 40, 16), Text(kNormalEnd));

    // Tracking is armed again by the next movement.
    Move();
    EXPECT_TRUE(button.IsTracking());
    EXPECT_TRUE(test::ProcessEventsUntil([&] { return button.IsHovering(); }));
}

// Inner rectangle x 2..78, y 2..18 (exclusive): the sides cover x 1..3 and 76..78 for
// y 5..15, top and bottom cover x 4..75 on rows 1..2 and 17..18.
TEST_F(CXPButtonTest, HoverFrameLinesAndLighterGradient) {
    Hover();
    const QImage image = Render(button);
    for (int y = 5; y <= 15; ++y) {
        for (int x : {1, 2, 3}) EXPECT_EQ(ColorAt(image, x, y), Text(kLeftFrame)) << x << "," << y;
        for (int x : {76, 77, 78}) {
            EXPECT_EQ(ColorAt(image, x, y), Text(kRightFrame)) << x << "," << y;
        }
    }
    for (int x = 4; x <= 75; ++x) {
        for (int y : {1, 2}) EXPECT_EQ(ColorAt(image, x, y), Text(kTopFrame)) << x << "," << y;
        for (int y : {17, 18}) {
            EXPECT_EQ(ColorAt(image, x, y), Text(kBottomFrame)) << x << "," << y;
        }
    }
    // The lines stop short: end points and the pixels past them are not frame.
    EXPECT_EQ(ColorAt(image, 2, 4), ColorAt(image, 40, 4));
    EXPECT_EQ(ColorAt(image, 2, 16), Text(kHoverEnd));
    EXPECT_EQ(ColorAt(image, 77, 16), Text(kHoverEnd));
    EXPECT_EQ(ColorAt(image, 76, 2), Text(MakeRgb(254, 254, 254)));  // hover g[7]
    EXPECT_EQ(ColorAt(image, 40, 16), Text(kHoverEnd));
    EXPECT_EQ(ColorAt(image, 1, 4), Text(kRing));
}

// Dark pixels of the dotted focus frame's left side, three pixels inside the gradient.
int FocusFrameDots(const QImage& image) {
    int dots = 0;
    for (int y = 5; y <= 14; ++y) dots += image.pixelColor(5, y).lightness() < 100;
    return dots;
}

TEST_F(CXPButtonTest, FocusShowsAsAGradientAndADottedFrame) {
    EXPECT_EQ(FocusFrameDots(Render(button)), 0);
    Focus();
    QImage image = Render(button);
    EXPECT_EQ(ColorAt(image, 40, 16), Text(kFocusEnd));
    EXPECT_EQ(ColorAt(image, 2, 10), ColorAt(image, 40, 10));  // no hover frame
    EXPECT_GE(FocusFrameDots(image), 3);

    Hover();
    image = Render(button);
    EXPECT_EQ(ColorAt(image, 40, 16), Text(kHoverFocusEnd));
    EXPECT_EQ(ColorAt(image, 2, 10), Text(kLeftFrame));

    // Leaving drops the frame but the focus gradient stays.
    Leave();
    image = Render(button);
    EXPECT_EQ(ColorAt(image, 40, 16), Text(kFocusEnd));
    EXPECT_EQ(ColorAt(image, 2, 10), ColorAt(image, 40, 10));
}

TEST_F(CXPButtonTest, LabelIsCentredAndMovesWhenPressed) {
    button.resize(120, 26);
    button.setText("Send");
    const QRect up = LabelBox(Render(button));
    ASSERT_FALSE(up.isEmpty());
    EXPECT_NEAR(up.center().x(), 60, 3);
    EXPECT_NEAR(up.center().y(), 13, 4);

    Hover();
    button.setDown(true);
    const QImage pressed = Render(button);
    EXPECT_EQ(LabelBox(pressed), up.translated(1, 1));
    EXPECT_EQ(ColorAt(pressed, 2, 10), Text(kLeftFrame));  // the hover look stays

    // A caption changed while shown is centred afresh.
    button.setDown(false);
    button.setText("Get CAN Accepted IDs");
    const QRect longer = LabelBox(Render(button));
    EXPECT_GT(longer.width(), up.width());
    EXPECT_NEAR(longer.center().x(), 60, 3);
}

// The emboss is a highlight copy one pixel down and right under the shadow-coloured text.
TEST_F(CXPButtonTest, DisabledLabelIsEmbossed) {
    button.resize(120, 26);
    button.setText("Send");
    const QRect enabledInk = LabelBox(Render(button));
    button.setEnabled(false);
    const QImage image = Render(button);
    EXPECT_TRUE(LabelBox(image).isEmpty());  // no black ink

    // Grey enough to read on the gradient's darkest end (234, 234, 243): contrast above 3 : 1.
    const QColor shadow(128, 128, 128);
    const QColor light(255, 255, 255);
    const QRect inner(2, 2, 116, 22);
    const QRect shadowBox =
        test::BoundingBox(image, inner, [&](const QColor& c) { return c == shadow; });
    const QRect lightBox =
        test::BoundingBox(image, inner, [&](const QColor& c) { return c == light; });
    ASSERT_FALSE(shadowBox.isEmpty());
    ASSERT_FALSE(lightBox.isEmpty());
    EXPECT_TRUE(enabledInk.adjusted(-1, -1, 1, 1).contains(shadowBox));  // where the label was
    EXPECT_EQ(lightBox.right(), shadowBox.right() + 1);
    EXPECT_EQ(lightBox.bottom(), shadowBox.bottom() + 1);
}

TEST(CXPButtonClass, CanBeMadeFromItsMetaObject) {
    std::unique_ptr<QObject> made(CXPButton::staticMetaObject.newInstance());
    ASSERT_NE(qobject_cast<CXPButton*>(made.get()), nullptr);
    EXPECT_EQ(made->objectName(), "CXPButton");
    EXPECT_FALSE(qobject_cast<CXPButton*>(made.get())->autoDefault());
}

}  // namespace
}  // namespace b6409
