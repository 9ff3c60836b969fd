#include "app/application_icon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <algorithm>
#include <cmath>

#include "controls/dialog_colors.h"
#include "controls/rgb_color.h"

namespace b6409 {

namespace {

// The tile is the dialog's own beige: the icon carries the look of the program's windows.
const QColor kTile = ToQColor(kDialogBackground);
const QColor kTileEdge(176, 136, 78);
const QColor kPortLight(84, 134, 236);
const QColor kPortDark(24, 64, 178);
const QColor kPortEdge(12, 36, 112);
const QColor kSocket(255, 255, 255);

// The glyph is designed on a 256-unit square. Edges are rounded to whole pixels after scaling,
// so that at 16 and 32 pixels the blocks and the bridge have crisp borders instead of blurred
// half-covered pixel rows.
class Canvas {
  public:
    explicit Canvas(int size) : scale_(size / 256.0) {}

    QRectF Rect(double x, double y, double w, double h) const {
        const double left = std::round(x * scale_);
        const double top = std::round(y * scale_);
        return QRectF(left, top, std::round((x + w) * scale_) - left,
                      std::round((y + h) * scale_) - top);
    }
    double Length(double units, double minimum) const { return std::max(minimum, units * scale_); }
    // A line of this width drawn along a rectangle's edge stays inside it.
    static QRectF Inset(const QRectF& rect, double lineWidth) {
        const double half = lineWidth / 2;
        return rect.adjusted(half, half, -half, -half);
    }

  private:
    double scale_;
};

void DrawRounded(QPainter& painter, const QRectF& rect, double radius, const QBrush& fill,
                 const QColor& edge, double edgeWidth) {
    painter.setPen(QPen(edge, edgeWidth));
    painter.setBrush(fill);
    painter.drawRoundedRect(Canvas::Inset(rect, edgeWidth), radius, radius);
}

void DrawPort(QPainter& painter, const Canvas& canvas, const QRectF& block, int size) {
    QLinearGradient shade(block.topLeft(), block.bottomLeft());
    shade.setColorAt(0, kPortLight);
    shade.setColorAt(1, kPortDark);
    DrawRounded(painter, block, canvas.Length(18, 1.5), shade, kPortEdge, canvas.Length(6, 1));
    if (size < 32) return;  // the socket would be a smudge
    // A connector socket on the block's face: a white slot with two rows of pins.
    const double unit = block.width() / 76.0;
    const QRectF socket(block.left() + 16 * unit, block.top() + 30 * unit, 44 * unit, 26 * unit);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSocket);
    painter.drawRoundedRect(socket, 6 * unit, 6 * unit);
    if (size < 64) return;
    painter.setBrush(kPortEdge);
    const double pin = 5 * unit;
    for (int i = 0; i < 3; ++i) {
        painter.drawEllipse(QPointF(socket.left() + (10 + 12 * i) * unit, socket.top() + 9 * unit),
                            pin / 2, pin / 2);
    }
    for (int i = 0; i < 2; ++i) {
        painter.drawEllipse(QPointF(socket.left() + (16 + 12 * i) * unit, socket.top() + 18 * unit),
                            pin / 2, pin / 2);
    }
}

}  // namespace

QImage ApplicationIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const Canvas canvas(size);

    DrawRounded(painter, canvas.Rect(6, 6, 244, 244), canvas.Length(44, 2.5), kTile, kTileEdge,
                canvas.Length(8, 1));

    // The bridge first, so that the blocks' outlines cover its ends.
    const QRectF bridge = canvas.Rect(96, 112, 64, 32);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kPortEdge);
    painter.drawRect(bridge);

    DrawPort(painter, canvas, canvas.Rect(26, 70, 76, 116), size);
    DrawPort(painter, canvas, canvas.Rect(154, 70, 76, 116), size);
    painter.end();
    return image;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : kApplicationIconSizes)
        icon.addPixmap(QPixmap::fromImage(ApplicationIconImage(size)));
    return icon;
}

}  // namespace b6409
