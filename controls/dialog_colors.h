#pragma once

#include "common/rgb.h"

namespace b6409 {

// The dialog's warm beige background. The window's palette, the coloured radios that paint
// their own background on it, and the application icon's tile all take it from here, so the
// radios never show as patches of another shade.
constexpr Rgb kDialogBackground = MakeRgb(250, 230, 190);

}  // namespace b6409
