#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/message_sink.h"
#include "idtable/edit_field.h"
#include "idtable/id_entry.h"
#include "idtable/id_table.h"
#include "idtable/input_filters.h"
#include "idtable/random_source.h"

namespace b6409 {

// The filtered edits of the main window, by control id.
enum class EditId { Single = 1015, From = 1019, To = 1020, OptionValue = 1028 };

// The width radios, by control id: single ID, range start or mapping source ("group"), and
// mapping target.
enum class WidthRadio {
    Single11 = 1013,
    Single29 = 1014,
    Group11 = 1017,
    Group29 = 1018,
    Target11 = 1041,
    Target29 = 1044,
};

// The hand editor of the ID table, without a window: the dialog forwards each event to one
// method here and then shows the edits' texts and the table's rows and flags again. Refusals
// go to the message sink with the stop icon.
class EntryEditor {
  public:
    EntryEditor(IdTable& table, MessageSink& messages);
    // The edits' filters refer back to this editor for the widths, mode and option selector.
    EntryEditor(const EntryEditor&) = delete;
    EntryEditor& operator=(const EntryEditor&) = delete;

    IdListMode Mode() const { return mode_; }
    // Only the mode: the window's own effects of a mode switch (emptying the table, the to
    // field's text) are applied by the window.
    void SetMode(IdListMode mode) { mode_ = mode; }

    // Whether the option selector shows "User-Defined CANBaud (Kbps)"; only then is the option
    // value field filtered.
    void SetOptionSelectorFirstEntry(bool shown) { optionSelectorFirstEntry_ = shown; }
    bool OptionSelectorFirstEntry() const { return optionSelectorFirstEntry_; }

    EditField& Edit(EditId id);
    const EditField& Edit(EditId id) const;

    bool Checked(WidthRadio radio) const;
    IdWidth SingleWidth() const { return singleWidth_; }
    IdWidth GroupWidth() const { return groupWidth_; }
    IdWidth TargetWidth() const { return targetWidth_; }
    // The width whose rule the to field follows: the group's for a range, the target's for a
    // mapping.
    IdWidth ToWidth() const { return mode_ == IdListMode::Filter ? groupWidth_ : targetWidth_; }

    // A click on a width radio, also on the one already chosen: chooses it and resets the limit
    // and text of the edits it rules. The target radios are disabled in Filter mode, so a click
    // on them there changes nothing.
    void ClickWidthRadio(WidthRadio radio);

    // "Add" of the single box (Filter mode only; in Mapping mode the button is disabled and this
    // does nothing). Returns the new row's position, for the view to scroll to.
    std::optional<size_t> AddSingle();
    // "Add" of the group box: a range in Filter mode, a mapping in Mapping mode. Returns the new
    // row's position, for the view to scroll to.
    std::optional<size_t> AddRangeOrMapping();
    // Both Adds refuse a value wider than its width ("ID 0x1000 is wider than 11 bits") rather
    // than send another ID than the one typed: after a mode switch an 11-bit edit keeps the
    // 8-character limit it had.
    // "Delete Row": removes the selected rows; returns the row now selected and focused.
    std::optional<size_t> DeleteRow();
    // "Clear Table".
    void ClearTable() { table_.Clear(); }

    // "FuncTest": fills a mapping table with 100 more random entries drawn from `random` after
    // seeding it with `seed` (the dialog passes the current time in seconds). Every duplicate is
    // refused with its message as usual; after kFuncTestRefusalLimit refusals in a row the fill
    // gives up, since the remaining sources may all be taken. Returns the rows added.
    size_t FuncTest(RandomSource& random, uint32_t seed);

    // With 11-bit sources one draw reaches only the 1024 sources of the row count's parity, so a
    // last free source is hit once in 1024 draws on average; 10000 misses in a row make a false
    // give-up rarer than 1 in 10000.
    static constexpr unsigned kFuncTestRefusalLimit = 10000;

  private:
    // FuncTest's formulas may give a target wider than its field: it masks, as it always has.
    enum class WideValues { Refuse, Mask };
    std::optional<size_t> AddRangeOrMapping(WideValues wide);
    bool FitsWidth(uint32_t value, IdWidth width);
    size_t AppendAndSelect(const IdEntry& entry);
    void Refuse(const std::string& text) { messages_.Show(text, MessageIcon::Stop); }

    IdTable& table_;
    MessageSink& messages_;
    IdListMode mode_ = IdListMode::Filter;
    bool optionSelectorFirstEntry_ = true;
    IdWidth singleWidth_ = IdWidth::Bits11;
    IdWidth groupWidth_ = IdWidth::Bits11;
    IdWidth targetWidth_ = IdWidth::Bits11;
    EditField single_;
    EditField from_;
    EditField to_;
    EditField optionValue_;
};

}  // namespace b6409
