#pragma once

#include <QProgressBar>
#include <QString>
#include <cstdint>

#include "common/progress.h"

class QPainter;

namespace b6409 {

// A horizontal progress bar that paints all of itself: a fixed left-to-right colour gradient
// uncovered up to the current position, plain background colour beyond it, and optionally the
// percentage as centred text. Positions at or outside either end of the range show the plain
// button face, so a finished download never leaves a full bar behind.
//
// The QProgressBar base is kept in step with range and position (for value(), accessibility
// and valueChanged), but the fields below are what is painted: they hold 32-bit values whole,
// even those the base would refuse.
class PercentProgressBar : public QProgressBar {
    Q_OBJECT

  public:
    explicit PercentProgressBar(QWidget* parent = nullptr);

    // Stores the range and starts over at its lower end.
    void SetRange(int32_t newLower, int32_t newUpper);
    void SetPos(int32_t newPosition);

    // The percentage text for a position: the lower end plays no part, halves round as the C
    // runtime's "%.0f" does (1 of 3 gives "33%", 999 of 1000 gives "100%"); an upper end of 0
    // or less, which the bar never shows, gives "0%".
    static QString PercentText(int32_t position, int32_t upper);

    // Range and position change only through SetRange and SetPos, so that the base stays in
    // step and a repaint is requested. The colours and showText may be assigned directly; the
    // change shows at the next repaint.
    int32_t lower = 0;
    int32_t upper = 100;
    int32_t position = 0;
    Rgb startColor = MakeRgb(255, 150, 100);
    Rgb endColor = MakeRgb(0, 255, 0);
    Rgb backgroundColor;  // the palette's button colour when the bar was made
    Rgb textColor = MakeRgb(0, 0, 255);
    bool showText = false;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void PaintBands(QPainter& painter, int bandCount, int filledWidth) const;
};

// Lets the list download drive the bar through the window-free progress interface.
class ProgressBarSink final : public ProgressSink {
  public:
    explicit ProgressBarSink(PercentProgressBar& bar) : bar_(bar) {}

    // The bar's four colours as they stand, for the window to record after set-up and hand back
    // to each download.
    ProgressColors Colors() const;

    void SetColors(const ProgressColors& colors) override;
    void SetShowText(bool show) override;
    void SetRange(int32_t lower, int32_t upper) override { bar_.SetRange(lower, upper); }
    void SetPos(int32_t position) override { bar_.SetPos(position); }

  private:
    PercentProgressBar& bar_;
};

}  // namespace b6409
