#pragma once

// The workbook as cell texts, and its .xls reader and writer. They live in sheet/xls/: the reader
// in workbook_reader.cpp, the writer in workbook_writer.cpp, the text conversion in utf16_text.cpp.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace b6409 {

// One worksheet as cell texts. rows[r][c] is the cell in row r + 1, column c + 1; a row is as
// long as its last recorded cell, so an empty text is a cell that exists but holds nothing.
struct Sheet {
    std::string name;
    std::vector<std::vector<std::string>> rows;
};

struct Workbook {
    std::vector<Sheet> sheets;
};

inline constexpr size_t kSheetMaxRows = 65536;
inline constexpr size_t kSheetMaxColumns = 256;
inline constexpr size_t kSheetNameMaxLength = 31;
inline constexpr size_t kCellTextMaxLength = 32767;

// What one read may build, over all the workbook's sheets together. A file of a few kilobytes
// can otherwise make gigabytes of cells: a cell at a sheet's far corner (every row above it is
// held), many sheets over the same records, one long shared string in thousands of cells. The
// export writes one sheet of at most 65,536 rows of six short texts (393,216 cells, a few MB of
// text); the limits hold sixteen full sheets or ten times that many cells, and keep what a
// read builds to a few hundred MB however the file is made. A read beyond them is refused.
inline constexpr size_t kReadMaxSheets = 1024;           // sheets listed, of any kind
inline constexpr size_t kReadMaxRows = size_t{1} << 20;  // rows held, up to each sheet's last
// Cells held, the empty ones before a row's last cell included. The shared string table may
// hold as many strings again.
inline constexpr size_t kReadMaxCells = size_t{1} << 22;
// UTF-8 bytes of the cells' texts, a shared string counted in every cell that shows it. The
// shared string table may hold as many bytes again.
inline constexpr size_t kReadMaxTextBytes = size_t{64} << 20;

// What a read found, beyond the cells.
struct WorkbookReadNotes {
    // Content the model does not hold and a rewrite would lose (formulas, charts, macros,
    // drawings, comments, hyperlinks), as a short English phrase; empty when there is none.
    std::string unkeptContent;
};

// Reads the workbook of a .xls file's bytes (a compound file with a BIFF8 "Workbook" stream).
// Worksheets only; numbers become the text a user expects (see FormatCellNumber). A workbook
// beyond the read limits above is refused with a reason that names the limit.
bool ReadWorkbook(std::vector<uint8_t> fileBytes, Workbook* out, WorkbookReadNotes* notes,
                  std::string* errorText);
// Reads the BIFF8 records of a workbook stream alone.
bool ReadWorkbookStream(const std::vector<uint8_t>& stream, Workbook* out, WorkbookReadNotes* notes,
                        std::string* errorText);

// Checks what the format can hold: 1 to 31 characters of a sheet name without : \ / ? * [ ]
// (and not framed by apostrophes), sheet names unique regardless of letter case, at most 65,536
// rows and 256 columns, cell texts of at most 32,767 UTF-16 units, every text valid UTF-8.
bool CheckWorkbook(const Workbook& workbook, std::string* errorText);

// The BIFF8 workbook stream of a checked workbook: text cells go to the shared string table,
// empty cells become blank cells.
std::vector<uint8_t> BuildWorkbookStream(const Workbook& workbook);
// The whole .xls file; false with a reason when CheckWorkbook refuses the workbook.
bool BuildWorkbookFile(const Workbook& workbook, std::vector<uint8_t>* fileBytes,
                       std::string* errorText);

// A number as the cell's text: whole numbers without a fraction ("42", "-7"), others in the
// shortest form that reads back as the same value ("0.1", "1e-07").
std::string FormatCellNumber(double value);
// The value of a 32-bit RK number.
double DecodeRkNumber(uint32_t rk);

// The number of UTF-16 units of a UTF-8 text, or nothing when the text is not valid UTF-8.
std::optional<size_t> Utf16Length(std::string_view utf8);

}  // namespace b6409
