#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "idtable/id_entry.h"

namespace b6409 {

// One row as the list view shows it: the three texts, and the view's two state flags.
struct IdRow {
    std::string number;  // "%03d" of its position, or the number a loaded file gave
    std::string type;    // one of the eight type texts (a loaded file may hold another)
    std::string id;      // the ID text
    bool selected = false;
    bool focused = false;
};

// The ID table: a table of texts. What a row shows is what is compared for duplicates, saved,
// and parsed again for sending. Rows are only ever appended at the end.
class IdTable {
  public:
    size_t RowCount() const { return rows_.size(); }
    const IdRow& Row(size_t position) const { return rows_.at(position); }
    IdRow& Row(size_t position) { return rows_.at(position); }
    const std::vector<IdRow>& Rows() const { return rows_; }

    // Appends the entry's row, numbered by its position; the selection is left alone.
    size_t AppendEntry(const IdEntry& entry);
    // Appends the three texts unchanged (file loading).
    size_t AppendRow(std::string number, std::string type, std::string id);
    // Replaces one column's text of an existing row (0 number, 1 type, 2 ID), unchecked.
    void SetRowText(size_t position, int column, std::string text);

    // Appends from one value of an entry frame read from the module. Ranges and mappings come
    // as two values; the first waits here until the second arrives.
    void AppendReceived(uint16_t code, uint32_t value);
    void ResetReceivePairing() { pending_.reset(); }

    std::optional<size_t> FindSingle(std::string_view type, std::string_view id) const;
    std::optional<size_t> FindIdText(std::string_view id) const;
    // A row whose ID text, cut before its first '>', is the source text.
    std::optional<size_t> FindMappingSource(std::string_view source) const;

    // Removes the selected rows and renumbers every row after the first one removed; returns
    // the position to select afterwards, if a row stands there.
    std::optional<size_t> DeleteSelected();
    // Removes every row; a pending received value stays pending.
    void Clear() { rows_.clear(); }

    // Rows of the current list as it would be read back: number, type and ID texts only.
    bool SameTexts(const IdTable& other) const;

  private:
    std::vector<IdRow> rows_;
    std::optional<uint32_t> pending_;
};

// "%03d" of a row number.
std::string RowNumberText(size_t number);

// The first row that cannot go to the module in a list of the mode (see ReadRowEntry), as
// "Row 003: " and why; none when every row can. A download and the workbook of its frames refuse
// the whole table for it: a list missing rows can let through every ID the rows would have held.
std::optional<std::string> FirstUnsendableRow(IdListMode mode, const IdTable& table);

}  // namespace b6409
