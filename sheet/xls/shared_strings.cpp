#include "sheet/xls/shared_strings.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace b6409::xls {
namespace {

// Finds a text's number among the texts met so far: open addressing over the numbers, with
// each slot's hash kept beside it. An export looks up every one of its hundreds of thousands
// of cells here, which a node-based map makes a heap allocation each for the distinct ones.
class TextNumbers {
  public:
    explicit TextNumbers(std::vector<std::string_view>& texts) : texts_(texts) {
        slots_.resize(1024);
    }

    // The text's number, given it as the next one when it is new.
    uint32_t Find(std::string_view text) {
        const size_t hash = std::hash<std::string_view>{}(text);
        for (size_t i = hash & Mask();; i = (i + 1) & Mask()) {
            Slot& slot = slots_[i];
            if (slot.number == kNoSharedString) {
                slot = {static_cast<uint32_t>(texts_.size()), hash};
                texts_.push_back(text);
                if (texts_.size() * 2 > slots_.size()) Grow();
                return static_cast<uint32_t>(texts_.size() - 1);
            }
            if (slot.hash == hash && texts_[slot.number] == text) return slot.number;
        }
    }

  private:
    struct Slot {
        uint32_t number = kNoSharedString;
        size_t hash = 0;
    };

    size_t Mask() const { return slots_.size() - 1; }

    // Doubles the table, keeping it at most half full.
    void Grow() {
        const std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.size() * 2, Slot{});
        for (const Slot& slot : old) {
            if (slot.number == kNoSharedString) continue;
            size_t i = slot.hash & Mask();
            while (slots_[i].number != kNoSharedString) i = (i + 1) & Mask();
            slots_[i] = slot;
        }
    }

    std::vector<std::string_view>& texts_;
    std::vector<Slot> slots_;
};

}  // namespace

SharedStrings CollectSharedStrings(const Workbook& workbook) {
    size_t cells = 0;
    for (const Sheet& sheet : workbook.sheets)
        for (const auto& row : sheet.rows) cells += row.size();
    SharedStrings shared;
    shared.cellStrings.reserve(cells);
    TextNumbers numbers(shared.texts);
    // The text last met in each column and its number: a column often holds the same text row
    // after row, which then needs no lookup.
    std::vector<uint32_t> columnLast;
    for (const Sheet& sheet : workbook.sheets) {
        columnLast.assign(kSheetMaxColumns, kNoSharedString);
        for (const auto& row : sheet.rows)
            for (size_t c = 0; c < row.size(); ++c) {
                const std::string& cell = row[c];
                if (cell.empty()) {
                    shared.cellStrings.push_back(kNoSharedString);
                    continue;
                }
                ++shared.references;
                uint32_t& last = columnLast[std::min(c, kSheetMaxColumns - 1)];
                if (last == kNoSharedString || shared.texts[last] != cell) {
                    const size_t known = shared.texts.size();
                    last = numbers.Find(cell);
                    if (shared.texts.size() > known) shared.textBytes += cell.size();
                }
                shared.cellStrings.push_back(last);
            }
    }
    return shared;
}

}  // namespace b6409::xls
