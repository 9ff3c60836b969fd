#pragma once

#include <string>
#include <vector>

#include "common/message_sink.h"
#include "idtable/id_table.h"
#include "sheet/spreadsheet_driver.h"

namespace b6409 {

// The ID table as a workbook sheet of the frames a list download sends, for another CAN tool to
// replay: a header row, the begin frame, one entry frame per table row and the end frame. The
// sheet is "CANFID" for a filter list, "CANMID" for a mapping list. Cells are the table's texts,
// not masked as the download masks them.

inline constexpr char kFilterSheetName[] = "CANFID";
inline constexpr char kMappingSheetName[] = "CANMID";

// "Mode", "ID", "RTR", "DLC", "DataL", "DataH".
const std::vector<std::string>& ExportHeader();

// The frame rows under the header, for the module port (1 or 2). A row that is none of the
// mode's four forms has no frame and is left out.
std::vector<std::vector<std::string>> ExportFrameRows(IdListMode mode, const IdTable& table,
                                                      int modulePort);

// The path a workbook is saved under: ".xls" appended unless the path holds it anywhere.
std::string WorkbookFilePath(std::string path);

// Writes the workbook, replacing the file at the path as a save does (see WriteFileAtomically:
// the old file stays whole until the new one is complete, keeps its owner and mode, a link
// there keeps pointing at it). Refused up front: a list whose frames do not fit one sheet, a
// path that is no regular file or is read-only, and a workbook another program holds ("\"%s\"
// is opened !\nPlease close file first !"). Shows "File Saved OK !!" only when the sheet was
// written; otherwise the driver's error text or the file's, with the stop icon.
bool ExportWorkbook(const std::string& pathAsTyped, IdListMode mode, const IdTable& table,
                    int modulePort, MessageSink& sink,
                    DriverRegistry& drivers = DriverRegistry::Default());

}  // namespace b6409
