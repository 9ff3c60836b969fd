#include "idtable/entry_editor.h"

#include <string>

#include "common/text_format.h"

namespace b6409 {

namespace {

constexpr size_t kLimit11 = 3;
constexpr size_t kLimit29 = 8;

uint32_t MaskOf(IdWidth width) {
    return width == IdWidth::Bits11 ? kMask11 : kMask29;
}

// A value in the text form of its width. FuncTest's values are masked first: it writes 29-bit
// numbers into an 11-bit target field, and the row must show what the module is sent.
std::string HexIdText(uint32_t value, IdWidth width) {
    return FormatText(width == IdWidth::Bits11 ? "0x%03X" : "0x%08X",
                      static_cast<unsigned>(value & MaskOf(width)));
}

FilterVerdict HexVerdict(std::string_view text, IdWidth width) {
    return HexFilterAccepts(text, width) ? FilterVerdict::Accept : FilterVerdict::Reject;
}

IdKind MappingKind(IdWidth source, IdWidth target) {
    if (source == IdWidth::Bits11)
        return target == IdWidth::Bits11 ? IdKind::Mid11To11 : IdKind::Mid11To29;
    return target == IdWidth::Bits11 ? IdKind::Mid29To11 : IdKind::Mid29To29;
}

}  // namespace

EntryEditor::EntryEditor(IdTable& table, MessageSink& messages)
    : table_(table),
      messages_(messages),
      single_(
          "7FF", kLimit11, "7FF",
          [this](std::string_view t) { return HexVerdict(t, singleWidth_); }, true),
      from_(
          "000", kLimit11, "000", [this](std::string_view t) { return HexVerdict(t, groupWidth_); },
          true),
      to_(
          "7FF", kLimit11, "7FF", [this](std::string_view t) { return HexVerdict(t, ToWidth()); },
          true),
      optionValue_("83.333", kOptionValueLimit, "", [this](std::string_view t) {
          if (!optionSelectorFirstEntry_) return FilterVerdict::Stand;
          return OptionValueFilterAccepts(t) ? FilterVerdict::Accept : FilterVerdict::Reject;
      }) {}

EditField& EntryEditor::Edit(EditId id) {
    return const_cast<EditField&>(static_cast<const EntryEditor&>(*this).Edit(id));
}

const EditField& EntryEditor::Edit(EditId id) const {
    switch (id) {
        case EditId::Single:
            return single_;
        case EditId::From:
            return from_;
        case EditId::To:
            return to_;
        case EditId::OptionValue:
            break;
    }
    return optionValue_;
}

bool EntryEditor::Checked(WidthRadio radio) const {
    switch (radio) {
        case WidthRadio::Single11:
            return singleWidth_ == IdWidth::Bits11;
        case WidthRadio::Single29:
            return singleWidth_ == IdWidth::Bits29;
        case WidthRadio::Group11:
            return groupWidth_ == IdWidth::Bits11;
        case WidthRadio::Group29:
            return groupWidth_ == IdWidth::Bits29;
        case WidthRadio::Target11:
            return targetWidth_ == IdWidth::Bits11;
        case WidthRadio::Target29:
            break;
    }
    return targetWidth_ == IdWidth::Bits29;
}

void EntryEditor::ClickWidthRadio(WidthRadio radio) {
    // The width is chosen before the text is set, so that the text is filtered under it.
    switch (radio) {
        case WidthRadio::Single11:
            singleWidth_ = IdWidth::Bits11;
            single_.SetLimit(kLimit11);
            single_.SetText("7FF");
            return;
        case WidthRadio::Single29:
            singleWidth_ = IdWidth::Bits29;
            single_.SetLimit(kLimit29);
            single_.SetText("1FFFFFFF");
            return;
        case WidthRadio::Group11:
            groupWidth_ = IdWidth::Bits11;
            from_.SetLimit(kLimit11);
            from_.SetText("000");
            if (mode_ == IdListMode::Filter) {
                to_.SetLimit(kLimit11);
                to_.SetText("7FF");
            }
            return;
        case WidthRadio::Group29:
            groupWidth_ = IdWidth::Bits29;
            from_.SetLimit(kLimit29);
            from_.SetText("00000000");
            if (mode_ == IdListMode::Filter) {
                to_.SetLimit(kLimit29);
                to_.SetText("1FFFFFFF");
            }
            return;
        case WidthRadio::Target11:
        case WidthRadio::Target29:
            break;
    }
    if (mode_ == IdListMode::Filter) return;
    const bool narrow = radio == WidthRadio::Target11;
    targetWidth_ = narrow ? IdWidth::Bits11 : IdWidth::Bits29;
    to_.SetLimit(narrow ? kLimit11 : kLimit29);
    to_.SetText(narrow ? "7FF" : "1FFFFFFF");
}

size_t EntryEditor::AppendAndSelect(const IdEntry& entry) {
    const size_t added = table_.AppendEntry(entry);
    // A list view has one focused row: focusing the new one takes it from any other.
    for (size_t i = 0; i < added; ++i) table_.Row(i).focused = false;
    if (added > 0) table_.Row(added - 1).selected = false;
    table_.Row(added).selected = true;
    table_.Row(added).focused = true;
    return added;
}

bool EntryEditor::FitsWidth(uint32_t value, IdWidth width) {
    if ((value & ~MaskOf(width)) == 0) return true;
    Refuse(FormatText("ID 0x%X is wider than %d bits", static_cast<unsigned>(value),
                      width == IdWidth::Bits11 ? 11 : 29));
    return false;
}

std::optional<size_t> EntryEditor::AddSingle() {
    if (mode_ != IdListMode::Filter) return std::nullopt;
    const IdKind kind = singleWidth_ == IdWidth::Bits11 ? IdKind::Sid11 : IdKind::Sid29;
    const IdKindInfo& info = InfoOf(kind);
    const uint32_t value = ReadHexNumber(single_.Text());
    if (!FitsWidth(value, singleWidth_)) return std::nullopt;
    const IdEntry entry{kind, value, 0};
    if (table_.FindSingle(info.typeText, FormatIdText(entry))) {
        Refuse(kind == IdKind::Sid11 ? "CAN Filter 11-bit/Single-ID is Existing !"
                                     : "CAN Filter 29-bit/Single-ID is Existing !");
        return std::nullopt;
    }
    return AppendAndSelect(entry);
}

std::optional<size_t> EntryEditor::AddRangeOrMapping() {
    return AddRangeOrMapping(WideValues::Refuse);
}

std::optional<size_t> EntryEditor::AddRangeOrMapping(WideValues wide) {
    const bool filter = mode_ == IdListMode::Filter;
    const IdWidth endWidth = ToWidth();
    uint32_t first = ReadHexNumber(from_.Text());
    uint32_t second = ReadHexNumber(to_.Text());
    if (wide == WideValues::Mask) {
        first &= MaskOf(groupWidth_);
        second &= MaskOf(endWidth);
    } else if (!FitsWidth(first, groupWidth_) || !FitsWidth(second, endWidth)) {
        return std::nullopt;
    }
    const std::string start = HexIdText(first, groupWidth_);
    const std::string end = HexIdText(second, endWidth);
    const std::string id = start + (filter ? "~" : ">") + end;
    const bool narrow = groupWidth_ == IdWidth::Bits11;

    if (filter && first >= second) {
        Refuse(FormatText("CAN Filter Group-ID Sequence is not Right ! (%s >= %s)", start.c_str(),
                          end.c_str()));
        return std::nullopt;
    }
    // Both searches stop at their first match and only whether one exists matters, so running
    // them one after the other finds the same as one pass testing both per row.
    if (table_.FindIdText(id) || (!filter && table_.FindMappingSource(start))) {
        if (filter)
            Refuse(narrow ? "CAN Filter 11-bit/Group-ID is Existing !"
                          : "CAN Filter 29-bit/Group-ID is Existing !");
        else
            Refuse(narrow ? "CAN 11-bit Mapping ID is Existing !"
                          : "CAN 29-bit Mapping ID is Existing !");
        return std::nullopt;
    }
    IdKind kind = MappingKind(groupWidth_, endWidth);
    if (filter) kind = narrow ? IdKind::Gid11 : IdKind::Gid29;
    return AppendAndSelect({kind, first, second});
}

std::optional<size_t> EntryEditor::DeleteRow() {
    const auto chosen = table_.DeleteSelected();
    if (chosen) {
        for (size_t i = 0; i < table_.RowCount(); ++i) table_.Row(i).focused = false;
        table_.Row(*chosen).selected = true;
        table_.Row(*chosen).focused = true;
    }
    return chosen;
}

size_t EntryEditor::FuncTest(RandomSource& random, uint32_t seed) {
    if (mode_ == IdListMode::Filter) {
        messages_.Show("Please Choose \"CAN-ID Mapping\" Option", MessageIcon::None);
        return 0;
    }
    const size_t before = table_.RowCount();
    const size_t goal = before + 100;
    random.Seed(seed);
    unsigned refusals = 0;
    while (table_.RowCount() < goal) {
        const uint32_t n = static_cast<uint32_t>(table_.RowCount());
        const uint32_t w = random.Next();
        const uint32_t x = random.Next();
        uint32_t first = 0;
        uint32_t second = 0;
        if (groupWidth_ == IdWidth::Bits11) {
            first = (3u * n + 10u * w) & kMask11;
            second = (4u * n + 10u * x) & kMask11;
        } else {
            const uint32_t y = random.Next();
            const uint32_t z = random.Next();
            first = (w * n * 190887430u + x + 1u) & kMask29;
            second = (z + 10u * y + 36984440u * n + 1u) & kMask29;
        }
        from_.SetText(FormatText("%X", static_cast<unsigned>(first)));
        to_.SetText(FormatText("%X", static_cast<unsigned>(second)));
        if (AddRangeOrMapping(WideValues::Mask))
            refusals = 0;
        else if (++refusals >= kFuncTestRefusalLimit)
            break;
    }
    return table_.RowCount() - before;
}

}  // namespace b6409
