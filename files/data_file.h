#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/message_sink.h"
#include "idtable/id_table.h"

namespace b6409 {

// The ID list data file: a binary image of the table as shown. Counted strings (a 32-bit
// little-endian byte count, then the bytes) and 32-bit integers, in this order: the list kind's
// title, the record count R, "Total Columns:", 3, three column titles, then R records of three
// cells (the record's position in decimal, the type text, the ID text). Records past the table
// are fillers with empty texts; a file always holds at least 30 records and one filler.

inline constexpr char kFilterFileTitle[] = "Total Rows:";
inline constexpr char kMappingFileTitle[] = "Total MIDs:";

// More rows than any list needs: a module takes a row per exchange, 100 ms each, so this many
// take more than a day to download. A file is refused before reading when it is larger than
// this many rows can fill, or when its counts promise more.
inline constexpr uint32_t kLargestListRows = 1000000;

// The file's bytes for a table.
std::vector<uint8_t> EncodeDataFile(IdListMode mode, const IdTable& table);

// The path a data file is saved under: ".dat" appended unless the path holds it anywhere.
std::string DataFilePath(std::string path);

// Saves the table beside the target and renames it over, so an interrupted save leaves the old
// file whole. Shows "File Saved OK !!" or the failure; returns whether the file was saved.
bool SaveDataFile(const std::string& pathAsTyped, IdListMode mode, const IdTable& table,
                  MessageSink& sink);

// Loads a data file of the mode's kind into the table. Only a file read without a message
// replaces the table with its rows; a file that cannot be opened or read, is of the other kind or
// is corrupt anywhere leaves the table exactly as it was. Only a regular file is read: a FIFO, a
// device or a folder is refused without waiting on it, and so is a file larger than a list can
// be. Returns whether the file was loaded.
bool LoadDataFile(const std::string& path, IdListMode mode, IdTable& table, MessageSink& sink);

// The same for a file of either kind, as its title says (b6409ctl takes both); returns the kind
// of a file that was loaded.
std::optional<IdListMode> LoadDataFileOfEitherKind(const std::string& path, IdTable& table,
                                                   MessageSink& sink);

// What loading a file's bytes did to the table; the message is empty after a good load.
struct DataFileLoad {
    bool tableReplaced = false;  // the file was good: its rows replaced the table's
    std::string message;         // shown with the stop icon; the table is untouched
};
DataFileLoad DecodeDataFile(const std::vector<uint8_t>& bytes, IdListMode mode, IdTable& table);

// Texts of the save and open dialogs.
const char* SaveDialogTitle(IdListMode mode);
const char* LoadDialogTitle(IdListMode mode);
inline constexpr char kSaveDialogFilter[] =
    "CAN Filter-ID File (*.dat)|*.dat|CAN Filter-ID File (*.xls)|*.xls||";
inline constexpr char kLoadDialogFilter[] = "CAN Filter-ID File (*.dat)|*.dat||";

}  // namespace b6409
