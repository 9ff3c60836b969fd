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

}  // namespace b6409
