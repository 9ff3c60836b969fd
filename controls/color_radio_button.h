#pragma once

#include <QRadioButton>
#include <span>

#include "common/rgb.h"
#include "controls/dialog_colors.h"

namespace b6409 {

// The label colours that mark a choice: the checked member blue, the others black.
constexpr Rgb kChosenLabelColor = MakeRgb(0, 0, 255);
constexpr Rgb kPlainLabelColor = MakeRgb(0, 0, 0);

// A radio button on the dialog background whose label colour its owner sets. Checking is the
// radio's own business and never changes the colour; the owner colours a choice after checking
// one of its members.
class ColorRadioButton : public QRadioButton {
    Q_OBJECT

  public:
    explicit ColorRadioButton(QWidget* parent = nullptr);
    explicit ColorRadioButton(const QString& text, QWidget* parent = nullptr);

    // Repaints even when the colour is unchanged.
    void SetTextColor(Rgb color);
    Rgb TextColor() const { return textColor_; }
    Rgb BackgroundColor() const { return backgroundColor_; }

  protected:
    // The whole control takes the click, blank space beside a short caption included: the dialog
    // gives each choice a fixed box, and a click inside the box is a click on that choice.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

  private:
    Rgb textColor_ = kPlainLabelColor;
    const Rgb backgroundColor_ = kDialogBackground;
};

// Colours one choice after a member was checked: the checked member's label blue, every other
// member's black.
void ColorChoice(std::span<ColorRadioButton* const> choice);

}  // namespace b6409
