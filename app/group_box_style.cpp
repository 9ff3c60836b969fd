#include "app/group_box_style.h"

#include <QPainter>
#include <QStyleOption>

namespace b6409 {

namespace {

const QColor kEtchShadow(160, 160, 160);
const QColor kEtchHighlight(255, 255, 255);

}  // namespace

void GroupBoxStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    if (element != PE_FrameGroupBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // A dark line with a light one a pixel to the right and below: the etched look of a frame.
    const QRect frame = option->rect.adjusted(0, 0, -2, -2);
    painter->save();
    painter->setBrush(Qt::NoBrush);
    painter->setPen(kEtchHighlight);
    painter->drawRect(frame.translated(1, 1));
    painter->setPen(kEtchShadow);
    painter->drawRect(frame);
    painter->restore();
}

}  // namespace b6409
