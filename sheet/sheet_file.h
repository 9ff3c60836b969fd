#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sheet/spreadsheet_driver.h"

namespace b6409 {

// Row-by-row access to one sheet of a workbook (through a spreadsheet driver, with SQL) or to
// one delimited text file, with the same operations for both. The whole sheet is loaded when the
// object is made; every row is held as one text of quoted fields joined by the separator; a
// write-back rewrites the whole sheet or file.
//
// A failed connection to the workbook throws DatabaseError out of the constructor or WriteBack;
// so does a workbook path the connection cannot carry (see WorkbookPathRefusal) and memory
// running out while the sheet loads. Every other failure, memory running out included, is a
// false result with errorText() telling why.
class SheetFile {
  public:
    // A path whose last four characters are ".xls" in any letter case opens workbook mode, the
    // second argument then naming the sheet; any other path opens text mode, the second
    // argument being the separator. With keepBackup, content found at opening is copied first:
    // into the sheet "CSpreadSheetBackup" of the same workbook, or into the file path + ".bak".
    SheetFile(const std::string& path, const std::string& sheetOrSeparator, bool keepBackup,
              DriverRegistry& registry = DriverRegistry::Default());
    ~SheetFile();
    SheetFile(const SheetFile&) = delete;
    SheetFile& operator=(const SheetFile&) = delete;

    // From now on PutRow only changes memory, until a WriteBack succeeds.
    void DeferWrites();
    // Sets the header row (row 1); without replace, adds the fields to the end of an existing one.
    bool AddHeaderFields(const std::vector<std::string>& fields, bool replace);
    // rowNumber 0 appends; 1 is the header row; n >= 2 inserts before row n, overwrites it with
    // replace, or creates it (with filler rows) beyond the last row.
    bool PutRow(const std::vector<std::string>& fields, int32_t rowNumber, bool replace);
    // The fields of row rowNumber, or with 0 of the current row (which then moves on by one).
    bool FetchRow(std::vector<std::string>& out, int32_t rowNumber);
    // Writes every row to the sheet (drop, create, one insert per data row) or to the file.
    bool WriteBack();

    const std::string& errorText() const { return errorText_; }

    bool sheetExists() const { return sheetExists_; }
    bool keepBackup() const { return keepBackup_; }
    bool workbookMode() const { return workbookMode_; }
    bool writesDeferred() const { return writesDeferred_; }
    int32_t currentRow() const { return currentRow_; }
    int32_t totalRows() const { return totalRows_; }
    int16_t totalColumns() const { return totalColumns_; }
    const std::string& statementText() const { return statementText_; }
    const std::string& connectString() const { return connectString_; }
    const std::string& sheetName() const { return sheetName_; }
    const std::string& driverName() const { return driverName_; }
    const std::string& separator() const { return separator_; }
    const std::vector<std::string>& headerFields() const { return headerFields_; }
    const std::vector<std::string>& rowTexts() const { return rowTexts_; }

  private:
    bool LoadSheet();
    bool LoadWorkbookSheet();
    bool LoadTextFile();
    void FindSpreadsheetDriver();
    bool WriteWorkbook();
    bool WriteTextFile();
    // Sets rowScratch_ to the fields' row text; false when that would not split back into the
    // same fields (or, in a text file, not stay on one line).
    bool MakeRowText(const std::vector<std::string>& fields);

    bool sheetExists_ = false;
    bool keepBackup_;
    bool workbookMode_;
    bool writesDeferred_ = false;
    int32_t currentRow_ = 1;
    int32_t totalRows_ = 0;
    int16_t totalColumns_ = 0;
    std::string statementText_;
    std::string connectString_;
    std::string statementScratch_;
    std::string rowScratch_;
    std::string sheetName_;
    std::string driverName_;
    std::string filePath_;
    std::string separator_;
    std::string errorText_;
    std::vector<std::string> rowFields_;
    std::vector<std::string> headerFields_;
    std::vector<std::string> rowTexts_;
    DriverRegistry& registry_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<SpreadsheetQuery> query_;
    // Set when the sheet or file at opening could not be read whole: writing back would then
    // replace content that was never loaded.
    bool loadIncomplete_ = false;
};

// Why a workbook at this path cannot be opened (the text of the DatabaseError SheetFile throws
// for it), or nothing when it can: a path holding a zero byte or a double quote. A caller checks
// with it before it disturbs an old file at the path.
std::optional<std::string> WorkbookPathRefusal(const std::string& path);

// Splits a row text into its fields as SheetFile reads its rows: at every quote-separator-quote
// with the outer quotes dropped, else at every separator, else one field without its quotes.
std::vector<std::string> SplitRowText(const std::string& text, const std::string& separator);

}  // namespace b6409
