#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Workbooks hold their texts in UTF-16, the rest of the utility in UTF-8.
namespace b6409::xls {

// A lone surrogate has no UTF-8 form; it becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Checks a UTF-8 text, counting its UTF-16 units into *units and converting it into *out (each
// when given); a check alone takes no memory, which matters for texts of every cell.
bool DecodeUtf8(std::string_view text, std::u16string* out, size_t* units = nullptr);

// Whether every byte is ASCII, each then one UTF-16 unit: nearly every text a workbook holds.
bool IsAscii(std::string_view text);

// The UTF-16 form of a text already checked.
std::u16string ToUtf16(std::string_view text);

}  // namespace b6409::xls
