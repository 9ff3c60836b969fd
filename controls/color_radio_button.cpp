#include "controls/color_radio_button.h"

#include "controls/rgb_color.h"

namespace b6409 {

ColorRadioButton::ColorRadioButton(QWidget* parent) : QRadioButton(parent) {
    QPalette colors = palette();
    colors.setColor(QPalette::Window, ToQColor(backgroundColor_));
    setPalette(colors);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    SetTextColor(textColor_);
}

ColorRadioButton::ColorRadioButton(const QString& text, QWidget* parent)
    : ColorRadioButton(parent) {
    setText(text);
}

void ColorRadioButton::SetTextColor(Rgb color) {
    textColor_ = color;
    // Only the label's role, and not in the disabled group: the indicator keeps the style's
    // colours, and a disabled radio still greys its label out.
    QPalette colors = palette();
    colors.setColor(QPalette::Active, QPalette::WindowText, ToQColor(color));
    colors.setColor(QPalette::Inactive, QPalette::WindowText, ToQColor(color));
    setPalette(colors);
    update();
}

void ColorChoice(std::span<ColorRadioButton* const> choice) {
    for (ColorRadioButton* radio : choice) {
        radio->SetTextColor(radio->isChecked() ? kChosenLabelColor : kPlainLabelColor);
    }
}

}  // namespace b6409
