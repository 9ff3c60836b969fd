#include "protocol/option_values.h"

#include <limits>

#include "common/text_format.h"

namespace b6409 {

uint32_t ReadUnsignedDecimal(std::string_view text) {
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(value);
}

uint32_t PackUserBaud(std::string_view text) {
    const auto dot = text.find('.');
    if (dot == std::string_view::npos) return ReadUnsignedDecimal(text) & 0xFFFF;
    const uint32_t integer = ReadUnsignedDecimal(text.substr(0, dot));
    const uint32_t fraction = ReadUnsignedDecimal(text.substr(dot + 1));
    return ((fraction & 0xFFFF) << 16) | (integer & 0xFFFF);
}

std::optional<std::string> OptionValueProblem(CommandKind kind, std::string_view valueText) {
    constexpr uint32_t kMost = 0xFFFF;
    const std::string quoted = "\"" + std::string(valueText) + "\"";
    if (kind == CommandKind::SetBusOffResetTime && ReadUnsignedDecimal(valueText) > kMost)
        return "Bus-off time " + quoted +
               " is too long: enter 0 to 65535 seconds. Nothing was sent.";
    if (kind != CommandKind::SetUserBaud) return std::nullopt;
    const auto dot = valueText.find('.');
    const uint32_t integer = ReadUnsignedDecimal(valueText.substr(0, dot));
    const std::string_view fractionText =
        dot == std::string_view::npos ? std::string_view() : valueText.substr(dot + 1);
    const uint32_t fraction = ReadUnsignedDecimal(fractionText);
    if (integer > kMost)
        return "Bit rate " + quoted +
               ": the part before the point must not exceed 65535. Nothing was sent.";
    if (fraction > kMost)
        return "Bit rate " + quoted +
               ": the digits after the point must not exceed 65535. Nothing was sent.";
    if (fraction != 0 && fractionText.front() == '0')
        return "Bit rate " + quoted +
               FormatText(" would arrive as %u.%u", static_cast<unsigned>(integer),
                          static_cast<unsigned>(fraction)) +
               ": the digits after the point must not start with 0. Nothing was sent.";
    return std::nullopt;
}

uint32_t OptionRequestValue(CommandKind kind, std::string_view valueText) {
    switch (kind) {
        case CommandKind::SetUserBaud:
            return PackUserBaud(valueText);
        case CommandKind::SetBusOffResetTime:
        case CommandKind::SetListenOnlyCan1:
        case CommandKind::SetListenOnlyCan2:
            return ReadUnsignedDecimal(valueText);
        default:
            return 0;
    }
}

}  // namespace b6409
