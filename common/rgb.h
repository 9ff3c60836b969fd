#pragma once

#include <cstdint>

namespace b6409 {

// A colour as one 32-bit value: red in the lowest byte, then green, then blue. The core keeps
// colours in this form so that it needs no window library.
using Rgb = uint32_t;
constexpr Rgb MakeRgb(uint8_t red, uint8_t green, uint8_t blue) {
    return uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16;
}

}  // namespace b6409
