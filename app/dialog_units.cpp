#include "app/dialog_units.h"

#include <QFontMetrics>
#include <algorithm>

namespace b6409 {

namespace {

// units * base / perBase, rounded half away from zero, as the layout's positions are.
int Scale(int units, int base, int perBase) {
    const long long product = static_cast<long long>(units) * base;
    const long long half = perBase / 2;
    return static_cast<int>(product >= 0 ? (product + half) / perBase
                                         : -((-product + half) / perBase));
}

}  // namespace

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    return QSize(metrics.averageCharWidth(), metrics.height());
}

QSize DialogUnitsToPixels(const QFont& font, int x, int y) {
    const QSize base = DialogBaseUnits(font);
    return QSize(Scale(x, base.width(), 4), Scale(y, base.height(), 8));
}

QRect DialogRect(const QFont& font, int x, int y, int w, int h) {
    const QSize topLeft = DialogUnitsToPixels(font, x, y);
    const QSize bottomRight = DialogUnitsToPixels(font, x + w, y + h);
    return QRect(
        QPoint(topLeft.width(), topLeft.height()),
        QSize(bottomRight.width() - topLeft.width(), bottomRight.height() - topLeft.height()));
}

QRect DialogTextRect(const QFont& font, int x, int y, int w, int h, const QString& text) {
    QRect box = DialogRect(font, x, y, w, h);
    const QFontMetrics metrics(font);
    const int inkBottom = metrics.ascent() + metrics.tightBoundingRect(text).bottom() + 1;
    box.setHeight(std::max(box.height(), inkBottom));
    return box;
}

}  // namespace b6409
