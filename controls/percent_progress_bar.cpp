#include "controls/percent_progress_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "controls/rgb_color.h"

namespace b6409 {
namespace {

int Red(Rgb color) {
    return int(color & 0xFF);
}
int Green(Rgb color) {
    return int(color >> 8 & 0xFF);
}
int Blue(Rgb color) {
    return int(color >> 16 & 0xFF);
}

// One band per step of the component that changes most, so that neighbouring bands differ by
// at most one in every component.
int BandCount(Rgb start, Rgb end) {
    return std::max({std::abs(Red(end) - Red(start)), std::abs(Green(end) - Green(start)),
                     std::abs(Blue(end) - Blue(start))});
}

// Only reachable with a negative lower end, where a negative position would otherwise give a
// negative width and a "-50%" text; such positions show as the very start of the bar.
double Fraction(int32_t position, int32_t upper) {
    return std::max(0.0, double(position) / double(upper));
}

int Component(int start, float step, int band) {
    // Single-precision rounding can land a hair outside 0..255 at the ends of the gradient.
    return std::clamp(int(float(start) + float(band) * step), 0, 255);
}

}  // namespace

PercentProgressBar::PercentProgressBar(QWidget* parent)
    : QProgressBar(parent), backgroundColor(ToRgb(palette().color(QPalette::Button))) {
    // Every pixel is painted on each paint, so Qt need not clear the area first; that is what
    // keeps the bar from flashing to an empty background between two positions.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QProgressBar::setRange(lower, upper);
    QProgressBar::setValue(position);
}

void PercentProgressBar::SetRange(int32_t newLower, int32_t newUpper) {
    upper = newUpper;
    lower = newLower;
    position = newLower;
    QProgressBar::setRange(newLower, newUpper);
    QProgressBar::setValue(newLower);
    // The base repaints only when its own style would look different, which says nothing about
    // this painting; ask for the repaint here so that every change shows.
    update();
}

void PercentProgressBar::SetPos(int32_t newPosition) {
    position = newPosition;
    // The base ignores a value outside its range; the field still holds it and the paint shows
    // the plain face for it.
    QProgressBar::setValue(newPosition);
    // update() rather than repaint(): the download lets waiting events through between two
    // rows, and that is where the paint happens; several positions set in between merge into
    // one paint of the latest.
    update();
}

QString PercentProgressBar::PercentText(int32_t position, int32_t upper) {
    char text[32];
    const double percent = upper > 0 ? std::max(0.0, position * 100.0 / upper) : 0.0;
    std::snprintf(text, sizeof text, "%.0f%%", percent);
    return QString::fromLatin1(text);
}

void PercentProgressBar::paintEvent(QPaintEvent*) {
    // Qt's backing store already double-buffers widget painting: the bands, the remainder and
    // the text are drawn off screen and reach the screen in one flush, so no image of our own
    // is needed to avoid flicker.
    QPainter painter(this);
    const int bandCount = BandCount(startColor, endColor);
    // An upper end of 0 or less would divide by zero or turn the fraction over, and equal end
    // colours leave no band to draw; all of these show as an idle bar.
    if (!(lower < position && position < upper) || upper <= 0 || bandCount == 0) {
        painter.fillRect(rect(), palette().color(QPalette::Button));
        return;
    }
    const int filledWidth = int(Fraction(position, upper) * width());
    PaintBands(painter, bandCount, filledWidth);
    if (showText) {
        painter.setPen(ToQColor(textColor));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine,
                         PercentText(position, upper));
    }
}

// The band edges come from the whole width, not the filled part, so a growing bar uncovers a
// fixed gradient; the band holding the filled width's end is drawn whole.
void PercentProgressBar::PaintBands(QPainter& painter, int bandCount, int filledWidth) const {
    const int w = width();
    const int h = height();
    const float bandWidth = float(w) / float(bandCount);
    const float stepRed = float(Red(endColor) - Red(startColor)) / float(bandCount);
    const float stepGreen = float(Green(endColor) - Green(startColor)) / float(bandCount);
    const float stepBlue = float(Blue(endColor) - Blue(startColor)) / float(bandCount);
    int right = 0;
    for (int band = 0; band < bandCount; ++band) {
        const int left = int(float(band) * bandWidth);
        right = int(float(band + 1) * bandWidth);
        const QColor color(Component(Red(startColor), stepRed, band),
                           Component(Green(startColor), stepGreen, band),
                           Component(Blue(startColor), stepBlue, band));
        painter.fillRect(QRect(left, 0, right - left, h + 1), color);
        if (right > filledWidth) break;
    }
    // When float rounding leaves the last band's edge a column short of the width and the bar
    // is filled past it, no band covers that column; it takes the background like the rest.
    if (right < w) painter.fillRect(QRect(right, 0, w - right, h), ToQColor(backgroundColor));
}

ProgressColors ProgressBarSink::Colors() const {
    return ProgressColors{bar_.startColor, bar_.endColor, bar_.backgroundColor, bar_.textColor};
}

void ProgressBarSink::SetColors(const ProgressColors& colors) {
    bar_.startColor = colors.start;
    bar_.endColor = colors.end;
    bar_.backgroundColor = colors.background;
    bar_.textColor = colors.text;
}

void ProgressBarSink::SetShowText(bool show) {
    bar_.showText = show;
}

}  // namespace b6409
