#pragma once

#include <string_view>

namespace b6409 {

// The option value field's rule while it holds the user-defined bit rate: decimal digits with
// at most one decimal point and no leading zero ("83.333", "125" and ".5" stand; "0.5", "1.2.3"
// and "12a" do not). The text "00000000" stands as it is; an empty text is accepted.
bool OptionValueFilterAccepts(std::string_view text);

// Most characters the option value field takes.
inline constexpr size_t kOptionValueLimit = 8;

}  // namespace b6409
