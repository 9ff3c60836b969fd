#include "controls/cxp_button.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <array>

namespace b6409 {
namespace {

// The gap between the outline and the gradient, the platform's standard edge metrics.
constexpr int kEdge = 2;
// The outline's corners are quarters of a 10 x 10 ellipse.
constexpr qreal kCornerRadius = 5;
constexpr int kGradientSize = 64;

// The fill between outline and gradient; a fresh drawing surface's default fill.
const QColor kRingColor(255, 255, 255);
const QColor kOutlineColor(0, 0, 0);
const QColor kLabelColor(0, 0, 0);
const QColor kFocusFrameColor(0, 0, 0);
// The classic three-dimensional highlight and shadow, not the style's disabled colours: those are
// so pale on the light gradient that the caption can hardly be read. Mid-grey on the darkest end
// of the gradient still gives a contrast of more than 3 : 1.
const QColor kDisabledHighlight(255, 255, 255);
const QColor kDisabledShadow(128, 128, 128);

// The hover frame, a different orange on each side so that it reads as lit from above.
const QColor kLeftFrameColor(250, 196, 88);
const QColor kTopFrameColor(252, 210, 121);
const QColor kRightFrameColor(251, 202, 106);
const QColor kBottomFrameColor(229, 151, 0);

// Hovering lightens the gradient by darkening red and green more slowly; focus changes how fast
// blue falls, so each of the four states ends on a colour of its own.
std::array<QColor, kGradientSize> Gradient(bool hovering, bool focused) {
    const int redGreenDivisor = hovering ? 4 : 3;
    const int blueDivisor = focused ? (hovering ? 3 : 4) : 5;
    std::array<QColor, kGradientSize> colors;
    for (int i = 0; i < kGradientSize; ++i) {
        const int redGreen = 255 - i / redGreenDivisor;
        colors[i] = QColor(redGreen, redGreen, 255 - i / blueDivisor);
    }
    return colors;
}

// The rectangle inside the outline that the gradient fills, with exclusive right and bottom
// edges as the frame geometry below is written in them.
struct Inner {
    int left, top, right, bottom;
};

// A dotted rectangle two pixels inside the hover frame's place.
void DrawFocusFrame(QPainter& painter, const Inner& inner) {
    constexpr int kInset = 3;
    const QRect frame(inner.left + kInset, inner.top + kInset,
                      inner.right - inner.left - 2 * kInset - 1,
                      inner.bottom - inner.top - 2 * kInset - 1);
    if (frame.width() <= 0 || frame.height() <= 0) return;
    painter.save();
    painter.setPen(QPen(kFocusFrameColor, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
    painter.restore();
}

// The table index runs over the row's distance from the button's top, not the inner top, so
// the first rows start a few entries in and the last ones clamp at the end of the table.
void FillGradient(QPainter& painter, const Inner& inner, bool hovering, bool focused) {
    const int height = inner.bottom - inner.top;
    if (height <= 0) return;
    const auto colors = Gradient(hovering, focused);
    for (int y = inner.top; y < inner.bottom; ++y) {
        const int index = std::min(kGradientSize - 1, (kGradientSize - 1) * y / height);
        painter.fillRect(QRect(inner.left, y, inner.right - inner.left, 1), colors[index]);
    }
}

// Each side is a line that leaves out its end point, drawn with a pen centred on it: the
// 3-pixel side lines cover their own column and one on each side, the 2-pixel top and bottom
// lines their own row and the one above. Filling the covered rectangles directly keeps the
// pixels exact whatever the painter's pen rules.
void DrawHoverFrame(QPainter& painter, const Inner& inner) {
    const int sideTop = inner.top + 3;  // the sides run upward and stop short of top + 2
    const int sideHeight = (inner.bottom - 3) - sideTop + 1;
    painter.fillRect(QRect(inner.left - 1, sideTop, 3, sideHeight), kLeftFrameColor);
    painter.fillRect(QRect(inner.right - 2, sideTop, 3, sideHeight), kRightFrameColor);
    const int rowLeft = inner.left + 2;
    const int rowWidth = (inner.right - 2) - rowLeft;  // stops short of right - 2
    painter.fillRect(QRect(rowLeft, inner.top - 1, rowWidth, 2), kTopFrameColor);
    painter.fillRect(QRect(rowLeft, inner.bottom - 1, rowWidth, 2), kBottomFrameColor);
}

}  // namespace

CXPButton::CXPButton(QWidget* parent) : QPushButton(parent) {
    setObjectName(QStringLiteral("CXPButton"));
    // Movements without a pressed button are what arm the hover.
    setMouseTracking(true);
    // These buttons draw no default-button look, and a dialog must not click them on Enter.
    setAutoDefault(false);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverMilliseconds);
    connect(&hoverTimer_, &QTimer::timeout, this, &CXPButton::MouseRested);
}

CXPButton::CXPButton(const QString& text, QWidget* parent) : CXPButton(parent) {
    setText(text);
}

void CXPButton::enterEvent(QEnterEvent* event) {
    MouseMoved();
    QPushButton::enterEvent(event);
}

void CXPButton::mouseMoveEvent(QMouseEvent* event) {
    MouseMoved();
    QPushButton::mouseMoveEvent(event);
}

void CXPButton::leaveEvent(QEvent*) {
    hoverTimer_.stop();
    tracking_ = false;
    hovering_ = false;
    update();
}

// The first movement arms the hover; later movements before the hover came mean the mouse has
// not rested yet, so the wait starts over. Once hovering, movements change nothing until the
// mouse leaves.
void CXPButton::MouseMoved() {
    if (!tracking_) {
        tracking_ = true;
        hoverTimer_.start();
    } else if (hoverTimer_.isActive()) {
        hoverTimer_.start();
    }
}

void CXPButton::MouseRested() {
    hovering_ = true;
    update();
}

void CXPButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QString label = text();  // read at every paint, so a changed caption shows at once
    const QRect outer = rect();

    // The corners outside the outline are left alone: the parent shows through them.
    painter.setPen(QPen(kOutlineColor, 1));
    painter.setBrush(kRingColor);
    painter.drawRoundedRect(outer.adjusted(0, 0, -1, -1), kCornerRadius, kCornerRadius);

    const bool focused = hasFocus();
    const Inner inner{kEdge, kEdge, outer.width() - kEdge, outer.height() - kEdge};
    FillGradient(painter, inner, hovering_, focused);
    if (hovering_) DrawHoverFrame(painter, inner);
    // The focus gradient alone differs from the plain one by a few shades of blue, too little to
    // see which button Space would press: a dotted frame inside the face makes it plain.
    if (focused) DrawFocusFrame(painter, inner);
    if (label.isEmpty()) return;

    const QFontMetrics metrics(font());
    const int labelWidth = metrics.horizontalAdvance(label);
    const int labelHeight = metrics.height();
    int x = (inner.left + inner.right) / 2 - labelWidth / 2;
    int y = (inner.top + inner.bottom) / 2 - labelHeight / 2;
    if (isDown()) {
        ++x;
        ++y;
    }
    const int baseline = y + metrics.ascent();
    if (isEnabled()) {
        painter.setPen(kLabelColor);
        painter.drawText(x, baseline, label);
    } else {
        // Embossed: a highlight copy one pixel down and right, the shadow-coloured text on top.
        painter.setPen(kDisabledHighlight);
        painter.drawText(x + 1, baseline + 1, label);
        painter.setPen(kDisabledShadow);
        painter.drawText(x, baseline, label);
    }
}

}  // namespace b6409
