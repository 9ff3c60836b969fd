#pragma once

#include <QColor>

#include "common/rgb.h"

namespace b6409 {

// The core keeps colours as packed Rgb values (red in the lowest byte) so that it stays free of
// Qt; these two convert at the edge of the window side.
inline QColor ToQColor(Rgb color) {
    return QColor(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF));
}

inline Rgb ToRgb(const QColor& color) {
    return MakeRgb(uint8_t(color.red()), uint8_t(color.green()), uint8_t(color.blue()));
}

}  // namespace b6409
