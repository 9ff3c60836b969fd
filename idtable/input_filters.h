#pragma once

#include <string_view>

namespace b6409 {

// The width a pair of "11-bit" / "29-bit" radios chooses for the edit it rules.
enum class IdWidth { Bits11, Bits29 };

// The option value field's rule while it holds the user-defined bit rate: decimal digits with
// at most one decimal point and no leading zero ("83.333", "125" and ".5" stand; "0.5", "1.2.3"
// and "12a" do not). The text "00000000" stands as it is; an empty text is accepted.
bool OptionValueFilterAccepts(std::string_view text);

// Most characters the option value field takes.
inline constexpr size_t kOptionValueLimit = 8;

// The hexadecimal fields' rule under the width of their radios. Three 11-bit digits must not
// begin above 7, eight 29-bit digits must begin with 1, and only hexadecimal digits of either
// case pass; an empty text passes. "00000000" does not pass here: the field lets it stand
// without recording it (see EditField).
bool HexFilterAccepts(std::string_view text, IdWidth width);

}  // namespace b6409
