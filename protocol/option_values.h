#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/command_kind.h"

namespace b6409 {

// Reads the leading decimal digits of a text as an unsigned 32-bit number; reading stops at the
// first non-digit, no digits give 0, and a number too large for 32 bits gives 0xFFFFFFFF.
uint32_t ReadUnsignedDecimal(std::string_view text);

// The user-defined bit rate in kbit/s as typed ("83.333"): the integer part in bits 0-15, the
// fraction digits read as a number in bits 16-31. Leading zeros of the fraction do not survive.
uint32_t PackUserBaud(std::string_view text);

// Why an option value cannot go to the module as typed; none when it can. The module keeps 16
// bits of the bus-off time and of each part of a bit rate, and the request carries a bit rate's
// fraction digits as a number, which drops their leading zeros: "83.05" would arrive as 83.5 (a
// fraction of only zeros, "83.0", arrives as the same rate). The text ends "Nothing was sent."
std::optional<std::string> OptionValueProblem(CommandKind kind, std::string_view valueText);

// The request's dataLow for an option command and the value field's text; 0 for every kind
// that carries no value.
uint32_t OptionRequestValue(CommandKind kind, std::string_view valueText);

}  // namespace b6409
