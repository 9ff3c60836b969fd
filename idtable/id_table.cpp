#include "idtable/id_table.h"

#include "common/text_format.h"

namespace b6409 {

std::string RowNumberText(size_t number) {
    return FormatText("%03d", static_cast<int>(number));
}

std::optional<std::string> FirstUnsendableRow(IdListMode mode, const IdTable& table) {
    for (size_t i = 0; i < table.RowCount(); ++i) {
        const IdRow& row = table.Row(i);
        const RowEntry read = ReadRowEntry(mode, row.type, row.id);
        if (read.entry) continue;
        // A loaded file may leave the number text empty; its place still names the row.
        const std::string number = row.number.empty() ? RowNumberText(i + 1) : row.number;
        return "Row " + number + ": " + read.problem + ".";
    }
    return std::nullopt;
}

size_t IdTable::AppendEntry(const IdEntry& entry) {
    return AppendRow(RowNumberText(rows_.size() + 1), InfoOf(entry.kind).typeText,
                     FormatIdText(entry));
}

size_t IdTable::AppendRow(std::string number, std::string type, std::string id) {
    rows_.push_back({std::move(number), std::move(type), std::move(id)});
    return rows_.size() - 1;
}

void IdTable::SetRowText(size_t position, int column, std::string text) {
    IdRow& row = rows_.at(position);
    (column == 0 ? row.number : column == 1 ? row.type : row.id) = std::move(text);
}

void IdTable::AppendReceived(uint16_t code, uint32_t value) {
    switch (code) {
        case 0x11:
            // An 11-bit single ID of 0 is taken only as the table's first row.
            if (value != 0 || rows_.empty()) AppendEntry({IdKind::Sid11, value & kMask11, 0});
            return;
        case 0x13:
            AppendEntry({IdKind::Sid29, value & kMask29, 0});
            return;
        case 0x12:
        case 0x14:
        case 0x15:
        case 0x16:
            break;
        default:
            return;
    }
    if (!pending_) {
        pending_ = value & ((code == 0x12 || code == 0x15) ? kMask11 : kMask29);
        return;
    }
    // One pending value for every code: it pairs with the next two-value code, whichever.
    const bool flag = (value & kTargetFlag) != 0;
    const uint32_t second = value & (code == 0x12 ? kMask11 : kMask29);
    IdKind kind = IdKind::Gid11;
    if (code == 0x14) kind = IdKind::Gid29;
    if (code == 0x15) kind = flag ? IdKind::Mid11To29 : IdKind::Mid11To11;
    if (code == 0x16) kind = flag ? IdKind::Mid29To11 : IdKind::Mid29To29;
    AppendEntry({kind, *pending_, second});
    pending_.reset();
}

std::optional<size_t> IdTable::FindSingle(std::string_view type, std::string_view id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].type == type && rows_[i].id == id) return i;
    return std::nullopt;
}

std::optional<size_t> IdTable::FindIdText(std::string_view id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) return i;
    return std::nullopt;
}

std::optional<size_t> IdTable::FindMappingSource(std::string_view source) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        const auto cut = rows_[i].id.find('>');
        if (cut != std::string::npos && std::string_view(rows_[i].id).substr(0, cut) == source)
            return i;
    }
    return std::nullopt;
}

std::optional<size_t> IdTable::DeleteSelected() {
    const size_t n = rows_.size();
    size_t running = 1;
    bool removed = false;
    std::optional<size_t> deletion;
    for (size_t p = 0; p < n;) {
        if (p < rows_.size() && rows_[p].selected) {
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(p));
            removed = true;
            deletion = (p == n - 1 && p > 0) ? p - 1 : p;
            // The next row has moved up into p: visit p again under the same number.
            continue;
        }
        if (removed && p < rows_.size()) rows_[p].number = RowNumberText(running);
        ++running;
        ++p;
    }
    if (deletion && *deletion < rows_.size()) return deletion;
    return std::nullopt;
}

bool IdTable::SameTexts(const IdTable& other) const {
    if (rows_.size() != other.rows_.size()) return false;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const IdRow& a = rows_[i];
        const IdRow& b = other.rows_[i];
        if (a.number != b.number || a.type != b.type || a.id != b.id) return false;
    }
    return true;
}

}  // namespace b6409
