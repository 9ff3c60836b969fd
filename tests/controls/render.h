#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QThread>
#include <QWidget>
#include <functional>
#include <string>

#include "common/rgb.h"
#include "controls/rgb_color.h"

namespace b6409::test {

// A colour no control paints, so that pixels a control leaves alone stand out.
constexpr Rgb kUnpainted = MakeRgb(255, 0, 255);

// Paints the widget into an image first filled with kUnpainted; the parent's background is not
// drawn, so whatever the widget does not paint keeps that colour.
inline QImage Render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(ToQColor(kUnpainted));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Colours as "r,g,b" texts, so that a failed comparison says which colour it saw.
inline std::string Text(Rgb color) {
    return std::to_string(color & 0xFF) + "," + std::to_string(color >> 8 & 0xFF) + "," +
           std::to_string(color >> 16 & 0xFF);
}
inline std::string Text(const QColor& color) {
    return Text(ToRgb(color));
}
inline std::string ColorAt(const QImage& image, int x, int y) {
    return Text(image.pixelColor(x, y));
}

// How many pixels of the image have exactly this colour.
inline int CountOf(const QImage& image, Rgb color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) count += ToRgb(image.pixelColor(x, y)) == color;
    }
    return count;
}

// The bounding box of the pixels in `area` that `match` picks; empty when none do.
inline QRect BoundingBox(const QImage& image, const QRect& area,
                         const std::function<bool(const QColor&)>& match) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (match(image.pixelColor(x, y))) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// Lets events through until `done` holds; gives up after a generous while so that a fault
// fails the test instead of hanging it.
inline bool ProcessEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

}  // namespace b6409::test
