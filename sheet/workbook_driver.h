#pragma once

#include <memory>
#include <string>

#include "sheet/spreadsheet_driver.h"

namespace b6409 {

// The name the default registry installs the embedded driver under; SheetFile finds it by the
// word "Excel" in it.
inline constexpr char kEmbeddedWorkbookDriverName[] = "Embedded Excel Workbook Driver (*.xls)";

// Most UTF-16 units a value may have: every column is a char(255) text column.
inline constexpr size_t kWorkbookValueLimit = 255;

// The embedded spreadsheet driver: each sheet of a .xls workbook is a table whose first row
// holds the column names.
//
// Connection keys: DBQ=path (required; DBQ={path} with every '}' doubled carries a path that
// holds ';' or quotes, the bare form ends at the first ';'); CREATE_DB=path, the same path, lets
// a missing workbook start empty; READONLY=TRUE|FALSE; FIRSTROWHASNAMES=1|0 (with 0 the columns
// are F1, F2, ... and every row is data); DRIVER and DSN are read past, unknown keys ignored. A
// path holding a zero byte is refused: the system would see a shorter one, another file.
//
// The workbook is read whole when connecting (a file that cannot be read as a workbook, or
// holds more than the read limits of xls_workbook.h, is a DatabaseError) and written whole,
// replacing the file in one rename, when a connection that changed it is closed; nothing is
// written otherwise, so an untouched new workbook leaves no file behind. Memory running out is
// a DatabaseError when connecting and a refusal with a reason afterwards, never an exception
// of its own. A workbook holding content this model cannot write again (formulas, charts,
// macros, drawings, comments, hyperlinks, other kinds of sheet) is opened for reading only.
//
// DROP TABLE empties the sheet, its header row included, and keeps the sheet in its place so a
// following CREATE TABLE fills it again. CREATE TABLE makes a new sheet, or gives an empty sheet
// its header row; on a sheet with data it fails with "Table 'x' already exists.". INSERT
// appends one row below the last row of the sheet, whatever row the range names. SELECT lists
// the columns of the first row and the rows below it.
class WorkbookDriver : public SpreadsheetDriver {
  public:
    std::unique_ptr<SpreadsheetConnection> Connect(const std::string& connectString) override;
};

}  // namespace b6409
