#include "sheet/xls/utf16_text.h"

#include <cstdint>
#include <cstring>

#include "sheet/xls_workbook.h"

namespace b6409 {
namespace xls {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

bool DecodeUtf8(std::string_view text, std::u16string* out, size_t* units) {
    if (out) out->clear();
    size_t count = 0;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b >= 0xC2 && b < 0xE0) {
            c = b & 0x1F;
            extra = 1;
        } else if (b >= 0xE0 && b < 0xF0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xF0 && b < 0xF5) {
            c = b & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char n = static_cast<unsigned char>(text[i + k]);
            if ((n & 0xC0) != 0x80) return false;
            c = c << 6 | (n & 0x3F);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c < 0xE000))
            return false;
        count += c >= 0x10000 ? 2 : 1;
        if (out) {
            if (c >= 0x10000) {
                out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                out->push_back(static_cast<char16_t>(c));
            }
        }
        i += extra + 1;
    }
    if (units) *units = count;
    return true;
}

bool IsAscii(std::string_view text) {
    // Eight bytes at a time: every cell's text is checked when a workbook is written.
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if (word & 0x8080808080808080u) return false;
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) & 0x80) return false;
    return true;
}

std::u16string ToUtf16(std::string_view text) {
    std::u16string out;
    DecodeUtf8(text, &out);
    return out;
}

}  // namespace xls

std::optional<size_t> Utf16Length(std::string_view utf8) {
    if (xls::IsAscii(utf8)) return utf8.size();
    size_t units;
    if (!xls::DecodeUtf8(utf8, nullptr, &units)) return std::nullopt;
    return units;
}

}  // namespace b6409
