// The .xls reader fed arbitrary bytes: the compound file container with every stream it lists,
// the whole workbook read, and the same bytes read as a bare BIFF8 workbook stream (mutations
// of a container mostly break the container, so the stream parser gets inputs of its own).
// A workbook that reads and is one the writer takes must read back the same once written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/compound_file.h"
#include "sheet/xls_workbook.h"

namespace {

using namespace b6409;

// A view, so that the checks of every cell make no text until one fails.
void Require(bool holds, std::string_view what) {
    if (holds) return;
    std::fprintf(stderr, "workbook invariant broken: %.*s\n", static_cast<int>(what.size()),
                 what.data());
    std::abort();
}

bool SameWorkbook(const Workbook& a, const Workbook& b) {
    if (a.sheets.size() != b.sheets.size()) return false;
    for (size_t i = 0; i < a.sheets.size(); ++i)
        if (a.sheets[i].name != b.sheets[i].name || a.sheets[i].rows != b.sheets[i].rows)
            return false;
    return true;
}

// Writing and reading again a workbook near the read limits takes the sanitizers most of a
// minute; the round trip is checked on smaller ones, which take the writer's same paths.
constexpr size_t kRoundTripMaxCells = 100000;
constexpr size_t kRoundTripMaxTextBytes = size_t{1} << 20;

void CheckRead(const Workbook& workbook) {
    Require(workbook.sheets.size() <= kReadMaxSheets, "more sheets read than the limit");
    size_t rows = 0, cells = 0, text = 0;
    // A shared string shown in thousands of cells is checked once for each run of them.
    const std::string* checked = nullptr;
    for (const Sheet& sheet : workbook.sheets) {
        rows += sheet.rows.size();
        Require(Utf16Length(sheet.name).has_value(), "a sheet name read is not UTF-8");
        Require(sheet.rows.size() <= kSheetMaxRows, "a sheet read with too many rows");
        if (!sheet.rows.empty()) Require(!sheet.rows.back().empty(), "a trailing empty row");
        for (const auto& row : sheet.rows) {
            Require(row.size() <= kSheetMaxColumns, "a row read with too many columns");
            cells += row.size();
            for (const std::string& cell : row) {
                if (!cell.empty() && (!checked || cell != *checked)) {
                    Require(Utf16Length(cell).has_value(), "a cell read is not UTF-8");
                    checked = &cell;
                }
                text += cell.size();
            }
        }
    }
    Require(rows <= kReadMaxRows && cells <= kReadMaxCells && text <= kReadMaxTextBytes,
            "a workbook read beyond the read limits");
    std::string reason;
    if (cells > kRoundTripMaxCells || text > kRoundTripMaxTextBytes ||
        !CheckWorkbook(workbook, &reason))
        return;

    std::vector<uint8_t> file;
    Require(BuildWorkbookFile(workbook, &file, &reason), "a checked workbook is not written");
    Workbook again;
    WorkbookReadNotes notes;
    Require(ReadWorkbook(file, &again, &notes, &reason),
            "a written workbook does not read: " + reason);
    Require(notes.unkeptContent.empty(), "a written workbook holds " + notes.unkeptContent);
    Require(SameWorkbook(workbook, again), "a workbook reads back otherwise once written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    std::string error;

    CompoundFileReader container;
    if (container.Open(bytes, &error)) {
        std::vector<uint8_t> stream;
        for (const std::string& name : container.StreamNames())
            container.ReadStream(name, &stream, &error);
    }

    Workbook workbook;
    WorkbookReadNotes notes;
    if (ReadWorkbook(bytes, &workbook, &notes, &error)) CheckRead(workbook);

    Workbook bare;
    if (ReadWorkbookStream(bytes, &bare, &notes, &error)) CheckRead(bare);
    return 0;
}
