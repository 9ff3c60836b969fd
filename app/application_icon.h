#pragma once

#include <QIcon>
#include <QImage>
#include <array>

namespace b6409 {

// The sizes, in pixels, at which the application icon is drawn.
inline constexpr std::array<int, 6> kApplicationIconSizes = {16, 32, 48, 64, 128, 256};

// The application icon: two CAN ports, as two blue blocks, joined by a bridge, on the dialogs'
// warm beige. Drawn in code at each of kApplicationIconSizes so that the small sizes stay
// sharp instead of being scaled down from a large picture.
QIcon ApplicationIcon();

// The icon drawn at `size` pixels square. Needs no application object, so the build can write
// the installed PNG files with it.
QImage ApplicationIconImage(int size);

}  // namespace b6409
