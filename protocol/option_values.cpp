#include "protocol/option_values.h"

#include <limits>

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
