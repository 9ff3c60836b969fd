// The .xls reader fed arbitrary bytes: the compound file container with every stream it lists,
// the whole workbook read, and the same bytes read as a bare BIFF8 workbook stream (mutations
// of a container mostly break the container, so the stream parser gets inputs of its own).
// A workbook that reads and is one the writer takes must read back the same once written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sheet/compound_file.h"
#include "sheet/xls_workbook.h"

namespace {

using namespace b6409;

void Require(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "workbook invariant broken: %s\n", what.c_str());
    std::abort();
}

bool SameWorkbook(const Workbook& a, const Workbook& b) {
    if (a.sheets.size() != b.sheets.size()) return false;
    for (size_t i = 0; i < a.sheets.size(); ++i)
        if (a.sheets[i].name != b.sheets[i].name || a.sheets[i].rows != b.sheets[i].rows)
            return false;
    return true;
}

void CheckRead(const Workbook& workbook) {
    for (const Sheet& sheet : workbook.sheets) {
        Require(Utf16Length(sheet.name).has_value(), "a sheet name read is not UTF-8");
        Require(sheet.rows.size() <= kSheetMaxRows, "a sheet read with too many rows");
        if (!sheet.rows.empty()) Require(!sheet.rows.back().empty(), "a trailing empty row");
        for (const auto& row : sheet.rows) {
            Require(row.size() <= kSheetMaxColumns, "a row read with too many columns");
            for (const std::string& cell : row)
                Require(Utf16Length(cell).has_value(), "a cell read is not UTF-8");
        }
    }
    std::string reason;
    if (!CheckWorkbook(workbook, &reason)) return;

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
