// The .dat loader fed arbitrary bytes, in both list modes. Beyond staying inside the bytes, it
// checks two promises: a file the loader refuses before its header passes leaves the table as
// it was, and a file that loads whole comes back the same after the table is saved again.
// Loaded rows also go through the download's row encoding, which parses their texts again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/data_file.h"
#include "idtable/id_table.h"
#include "idtable/list_transfer.h"

namespace {

using b6409::DataFileLoad;
using b6409::IdListMode;
using b6409::IdRow;
using b6409::IdTable;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "data file invariant broken: %s\n", what);
    std::abort();
}

// A saved row loads back when the loader can find its two texts again: each 1 to 127 bytes
// (the loader reads one signed length byte) and starting with a non-zero byte (it skips zero
// bytes to the text).
bool TextReloads(const std::string& text) {
    return !text.empty() && text.size() <= 127 && text[0] != '\0';
}

bool TableReloads(const IdTable& table) {
    for (const IdRow& row : table.Rows())
        if (!TextReloads(row.type) || !TextReloads(row.id)) return false;
    return true;
}

void Load(const std::vector<uint8_t>& bytes, IdListMode mode) {
    IdTable table;
    table.AppendRow("001", "11-bit SID", "0x123");
    const DataFileLoad load = DecodeDataFile(bytes, mode, table);
    if (!load.tableReplaced) {
        Require(!load.message.empty(), "a refused file gave no message");
        Require(table.RowCount() == 1 && table.Row(0).id == "0x123",
                "a file refused before its header passed changed the table");
        return;
    }
    for (const IdRow& row : table.Rows()) {
        Require(row.number.size() >= 3, "a loaded row number is not printed with three digits");
        // A download sends loaded rows as they stand: their texts are parsed again there.
        b6409::EncodeRow(mode, row);
    }
    if (!load.message.empty() || !TableReloads(table)) return;

    // Saved again, the file loads back to the same texts, numbered by position, and saving
    // that table gives the same bytes.
    const std::vector<uint8_t> saved = EncodeDataFile(mode, table);
    IdTable again;
    const DataFileLoad reload = DecodeDataFile(saved, mode, again);
    Require(reload.tableReplaced && reload.message.empty(), "a saved table does not load");
    Require(again.RowCount() == table.RowCount(), "a saved table loads with another row count");
    for (size_t i = 0; i < table.RowCount(); ++i) {
        Require(again.Row(i).type == table.Row(i).type, "a type text changed on the way");
        Require(again.Row(i).id == table.Row(i).id, "an ID text changed on the way");
        Require(again.Row(i).number == b6409::RowNumberText(i + 1),
                "a saved row is not numbered by its position");
    }
    Require(EncodeDataFile(mode, again) == saved, "saving the loaded table gives other bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    Load(bytes, IdListMode::Filter);
    Load(bytes, IdListMode::Mapping);
    return 0;
}
