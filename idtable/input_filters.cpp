#include "idtable/input_filters.h"

namespace b6409 {

bool OptionValueFilterAccepts(std::string_view text) {
    if (text == "00000000") return true;
    bool seenDot = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '0') {
            if (c == '.') {
                if (seenDot) return false;
                seenDot = true;
            } else if (c < '1' || c > '9') {
                return false;
            }
        }
        if (i == 0 && c == '0') return false;
    }
    return true;
}

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

bool HexFilterAccepts(std::string_view text, IdWidth width) {
    if (!text.empty()) {
        // Only a full-length text is checked at its first digit: the first digit of a shorter
        // text is not yet the leading one of the finished value.
        if (width == IdWidth::Bits11 && text.size() == 3 && text[0] > '7') return false;
        if (width == IdWidth::Bits29 && text.size() == 8 && text[0] != '1') return false;
    }
    for (char c : text)
        if (!IsHexDigit(c)) return false;
    return true;
}

}  // namespace b6409
