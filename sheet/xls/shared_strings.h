#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "sheet/xls_workbook.h"

namespace b6409::xls {

// The number a cell without text has in SharedStrings::cellStrings.
inline constexpr uint32_t kNoSharedString = std::numeric_limits<uint32_t>::max();

// The texts of a workbook's cells as its shared string table holds them: each distinct text
// once, in the order of first use, as a view of the workbook's own text.
struct SharedStrings {
    std::vector<std::string_view> texts;
    // For every cell, row by row and sheet by sheet, the number of its text in texts, or
    // kNoSharedString for an empty cell.
    std::vector<uint32_t> cellStrings;
    uint32_t references = 0;  // cells with a text
    size_t textBytes = 0;     // of the distinct texts
};

SharedStrings CollectSharedStrings(const Workbook& workbook);

}  // namespace b6409::xls
