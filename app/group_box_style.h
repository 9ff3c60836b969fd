#pragma once

#include <QProxyStyle>

namespace b6409 {

// The main window's group boxes: an etched frame and nothing inside it, so the boxes show the
// dialog colour like the rest of the window. (The default style shades a box's inside a little
// darker, which leaves faint patches behind the coloured radio buttons.) Set on the boxes only;
// their contents keep the application's style.
class GroupBoxStyle final : public QProxyStyle {
  public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace b6409
