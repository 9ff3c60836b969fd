#include "idtable/entry_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_format.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

using Shown = std::pair<std::string, MessageIcon>;
using Texts = std::vector<std::string>;
using Rows = std::vector<size_t>;
constexpr auto kFilter = IdListMode::Filter;
constexpr auto kMapping = IdListMode::Mapping;

// Plays back a script of numbers, then counts up from `after`; records seeds and draws.
class ScriptedRandom : public RandomSource {
  public:
    explicit ScriptedRandom(std::vector<uint32_t> script = {}, uint32_t after = 0)
        : script_(std::move(script)), after_(after) {}
    void Seed(uint32_t seed) override { seeds.push_back(seed); }
    uint32_t Next() override {
        ++draws;
        return draws <= script_.size() ? script_[draws - 1] : after_++;
    }
    std::vector<uint32_t> seeds;
    size_t draws = 0;

  private:
    std::vector<uint32_t> script_;
    uint32_t after_;
};

// An editor over its own table, for table-driven cases that each need a fresh one.
struct Bench {
    explicit Bench(IdListMode mode = kFilter) { editor.SetMode(mode); }
    EditField& Edit(EditId id) { return editor.Edit(id); }
    std::optional<size_t> AddGroup(const char* from, const char* to) {
        Edit(EditId::From).UserChange(from);
        Edit(EditId::To).UserChange(to);
        return editor.AddRangeOrMapping();
    }
    Texts Ids() const {
        Texts ids;
        for (const auto& row : table.Rows()) ids.push_back(row.id);
        return ids;
    }
    Rows Flagged(bool IdRow::*flag) const {
        Rows rows;
        for (size_t i = 0; i < table.RowCount(); ++i)
            if (table.Row(i).*flag) rows.push_back(i);
        return rows;
    }
    void AddSingles(uint32_t count) {
        for (uint32_t id = 1; id <= count; ++id) table.AppendEntry({IdKind::Sid11, id, 0});
    }

    IdTable table;
    test::RecordingSink sink;
    EntryEditor editor{table, sink};
};

class EntryEditorTest : public testing::Test, protected Bench {};

TEST_F(EntryEditorTest, HexEditsFollowTheirWidthRule) {
    EditField& single = Edit(EditId::Single);
    struct Step {
        const char* typed;
        const char* shown;
    };
    // 11-bit, starting from "7FF".
    for (const auto& s : {Step{"FF", "FF"}, Step{"8FF", "FF"}, Step{"7FF", "7FF"},
                          Step{"fff", "7FF"}, Step{"7fe", "7FE"}}) {
        single.UserChange(s.typed);
        EXPECT_EQ(single.Text(), s.shown) << s.typed;
    }
    editor.ClickWidthRadio(WidthRadio::Single29);
    for (const auto& s : {Step{"0ABCDEF1", "1FFFFFFF"}, Step{"ABCDEF1", "ABCDEF1"},
                          Step{"ABCDEF12", "ABCDEF1"}, Step{"1abcdef0123", "1ABCDEF0"}}) {
        single.UserChange(s.typed);
        EXPECT_EQ(single.Text(), s.shown) << s.typed;
    }
    editor.ClickWidthRadio(WidthRadio::Group29);
    for (EditId id : {EditId::Single, EditId::From, EditId::To}) {
        Edit(id).UserChange("abc");
        for (const char* bad : {"ABCG", "x12", "1 2", "-1", "0x12"}) {
            Edit(id).UserChange(bad);
            EXPECT_EQ(Edit(id).Text(), "ABC") << bad;
        }
    }
}

TEST_F(EntryEditorTest, FullWidthZeroStandsButIsNotReturnedTo) {
    EditField& from = Edit(EditId::From);
    from.UserChange("123");
    editor.ClickWidthRadio(WidthRadio::Group29);
    EXPECT_EQ(from.Text(), "00000000");
    from.UserChange("0000000G");
    EXPECT_EQ(from.Text(), "123");
}

TEST_F(EntryEditorTest, WidthRadiosSetLimitsAndTextsPerMode) {
    struct Case {
        IdListMode mode;
        WidthRadio radio;
        // Texts and limits of the single, from and to edits afterwards.
        const char* single;
        size_t singleLimit;
        const char* from;
        size_t fromLimit;
        const char* to;
        size_t toLimit;
    };
    const Case cases[] = {
        {kFilter, WidthRadio::Single29, "1FFFFFFF", 8, "12", 3, "34", 3},
        {kMapping, WidthRadio::Single29, "1FFFFFFF", 8, "12", 3, "34", 3},
        {kMapping, WidthRadio::Single11, "7FF", 3, "12", 3, "34", 3},
        {kFilter, WidthRadio::Group29, "5", 3, "00000000", 8, "1FFFFFFF", 8},
        {kMapping, WidthRadio::Group29, "5", 3, "00000000", 8, "34", 3},
        {kFilter, WidthRadio::Group11, "5", 3, "000", 3, "7FF", 3},
        {kMapping, WidthRadio::Group11, "5", 3, "000", 3, "34", 3},
        // The target radios are disabled in Filter mode.
        {kFilter, WidthRadio::Target29, "5", 3, "12", 3, "34", 3},
        {kMapping, WidthRadio::Target29, "5", 3, "12", 3, "1FFFFFFF", 8},
        {kMapping, WidthRadio::Target11, "5", 3, "12", 3, "7FF", 3},
    };
    for (const auto& c : cases) {
        Bench b(c.mode);
        b.Edit(EditId::Single).UserChange("5");
        b.Edit(EditId::From).UserChange("12");
        b.Edit(EditId::To).UserChange("34");
        b.editor.ClickWidthRadio(c.radio);
        const auto where = testing::Message()
                           << static_cast<int>(c.radio) << " in mode " << static_cast<int>(c.mode);
        EXPECT_EQ(b.Edit(EditId::Single).Text(), c.single) << where;
        EXPECT_EQ(b.Edit(EditId::Single).Limit(), c.singleLimit) << where;
        EXPECT_EQ(b.Edit(EditId::From).Text(), c.from) << where;
        EXPECT_EQ(b.Edit(EditId::From).Limit(), c.fromLimit) << where;
        EXPECT_EQ(b.Edit(EditId::To).Text(), c.to) << where;
        EXPECT_EQ(b.Edit(EditId::To).Limit(), c.toLimit) << where;
    }
}

TEST_F(EntryEditorTest, ToEditFollowsGroupInFilterAndTargetInMapping) {
    EditField& to = Edit(EditId::To);
    editor.ClickWidthRadio(WidthRadio::Group29);
    to.UserChange("8FF");
    EXPECT_EQ(to.Text(), "8FF");
    editor.SetMode(kMapping);
    to.UserChange("9FF");
    EXPECT_EQ(to.Text(), "8FF");
    editor.ClickWidthRadio(WidthRadio::Target29);
    editor.ClickWidthRadio(WidthRadio::Group11);
    to.UserChange("9FF");
    EXPECT_EQ(to.Text(), "9FF");
}

TEST_F(EntryEditorTest, AddSingleBuildsTextsAndRefusesDuplicates) {
    struct Case {
        WidthRadio radio;
        const char* text;
        const char* type;
        const char* id;
        const char* existing;
    };
    const char* existing11 = "CAN Filter 11-bit/Single-ID is Existing !";
    const char* existing29 = "CAN Filter 29-bit/Single-ID is Existing !";
    const Case cases[] = {
        {WidthRadio::Single11, "", "11-bit SID", "0x000", existing11},
        {WidthRadio::Single11, "7f", "11-bit SID", "0x07F", existing11},
        {WidthRadio::Single29, "", "29-bit SID", "0x00000000", existing29},
        {WidthRadio::Single29, "1ABCDEF0", "29-bit SID", "0x1ABCDEF0", existing29},
    };
    for (const auto& c : cases) {
        Bench b;
        b.editor.ClickWidthRadio(c.radio);
        b.Edit(EditId::Single).UserChange(c.text);
        EXPECT_EQ(b.editor.AddSingle(), 0u) << c.id;
        ASSERT_EQ(b.table.RowCount(), 1u);
        EXPECT_EQ(b.table.Row(0).number, "001");
        EXPECT_EQ(b.table.Row(0).type, c.type);
        EXPECT_EQ(b.table.Row(0).id, c.id);
        EXPECT_EQ(b.editor.AddSingle(), std::nullopt) << c.id;
        EXPECT_EQ(b.table.RowCount(), 1u);
        EXPECT_EQ(b.sink.shown, (std::vector<Shown>{{c.existing, MessageIcon::Stop}}));
    }
}

TEST_F(EntryEditorTest, RangeMustRunUpwards) {
    struct Case {
        WidthRadio radio;
        const char* from;
        const char* to;
        const char* message;
    };
    const Case cases[] = {
        {WidthRadio::Group11, "7FF", "000",
         "CAN Filter Group-ID Sequence is not Right ! (0x7FF >= 0x000)"},
        {WidthRadio::Group11, "100", "100",
         "CAN Filter Group-ID Sequence is not Right ! (0x100 >= 0x100)"},
        {WidthRadio::Group29, "1FFFFFFF", "FFFFFFF",
         "CAN Filter Group-ID Sequence is not Right ! (0x1FFFFFFF >= 0x0FFFFFFF)"},
    };
    for (const auto& c : cases) {
        Bench b;
        b.editor.ClickWidthRadio(c.radio);
        EXPECT_EQ(b.AddGroup(c.from, c.to), std::nullopt);
        EXPECT_EQ(b.table.RowCount(), 0u);
        EXPECT_EQ(b.sink.shown, (std::vector<Shown>{{c.message, MessageIcon::Stop}}));
        EXPECT_EQ(b.Edit(EditId::From).Text(), c.from);
        EXPECT_EQ(b.Edit(EditId::To).Text(), c.to);
    }
    // Mappings have no order.
    Bench m(kMapping);
    EXPECT_EQ(m.AddGroup("7FF", "000"), 0u);
    EXPECT_EQ(m.AddGroup("100", "100"), 1u);
    EXPECT_TRUE(m.sink.shown.empty());
}

TEST_F(EntryEditorTest, KindsTextsAndDuplicatesOfRangesAndMappings) {
    struct Case {
        IdListMode mode;
        WidthRadio group;
        WidthRadio target;
        const char* from;
        const char* to;
        const char* type;
        const char* id;
        const char* existing;
    };
    const auto g11 = WidthRadio::Group11, g29 = WidthRadio::Group29;
    const auto t11 = WidthRadio::Target11, t29 = WidthRadio::Target29;
    const Case cases[] = {
        {kFilter, g11, t11, "100", "1ff", "11-bit GID", "0x100~0x1FF",
         "CAN Filter 11-bit/Group-ID is Existing !"},
        {kFilter, g29, t11, "100", "1FF", "29-bit GID", "0x00000100~0x000001FF",
         "CAN Filter 29-bit/Group-ID is Existing !"},
        {kMapping, g11, t11, "123", "456", "11>11-bit MID", "0x123>0x456",
         "CAN 11-bit Mapping ID is Existing !"},
        {kMapping, g11, t29, "123", "1FFFFFFF", "11>29-bit MID", "0x123>0x1FFFFFFF",
         "CAN 11-bit Mapping ID is Existing !"},
        {kMapping, g29, t11, "1FFFFFFF", "12", "29>11-bit MID", "0x1FFFFFFF>0x012",
         "CAN 29-bit Mapping ID is Existing !"},
        {kMapping, g29, t29, "ABC", "", "29>29-bit MID", "0x00000ABC>0x00000000",
         "CAN 29-bit Mapping ID is Existing !"},
    };
    for (const auto& c : cases) {
        Bench b(c.mode);
        b.editor.ClickWidthRadio(c.group);
        b.editor.ClickWidthRadio(c.target);
        EXPECT_EQ(b.AddGroup(c.from, c.to), 0u) << c.id;
        ASSERT_EQ(b.table.RowCount(), 1u) << c.id;
        EXPECT_EQ(b.table.Row(0).type, c.type);
        EXPECT_EQ(b.table.Row(0).id, c.id);
        EXPECT_EQ(b.editor.AddRangeOrMapping(), std::nullopt) << c.id;
        EXPECT_EQ(b.table.RowCount(), 1u);
        EXPECT_EQ(b.sink.shown, (std::vector<Shown>{{c.existing, MessageIcon::Stop}}));
    }
}

TEST_F(EntryEditorTest, MappingSourceMayBeUsedOnce) {
    editor.SetMode(kMapping);
    ASSERT_TRUE(AddGroup("100", "300"));
    EXPECT_EQ(AddGroup("100", "200"), std::nullopt);
    EXPECT_EQ(sink.Texts(), Texts{"CAN 11-bit Mapping ID is Existing !"});
    EXPECT_EQ(AddGroup("101", "300"), 1u);
    // A range with the same start is no mapping source.
    table.AppendRow("003", "11-bit GID", "0x102~0x300");
    EXPECT_EQ(AddGroup("102", "300"), 3u);
}

TEST_F(EntryEditorTest, WidthsNeverMatchAcross) {
    Edit(EditId::Single).UserChange("100");
    editor.AddSingle();
    editor.ClickWidthRadio(WidthRadio::Single29);
    Edit(EditId::Single).UserChange("100");
    editor.AddSingle();
    editor.SetMode(kMapping);
    AddGroup("100", "300");
    editor.ClickWidthRadio(WidthRadio::Group29);
    AddGroup("100", "300");
    EXPECT_EQ(Ids(), (Texts{"0x100", "0x00000100", "0x100>0x300", "0x00000100>0x300"}));
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(EntryEditorTest, AValueWiderThanItsWidthIsRefusedAsTyped) {
    // A mode switch leaves the 8-character limit of a 29-bit field in place.
    editor.ClickWidthRadio(WidthRadio::Group29);
    editor.SetMode(kMapping);
    Edit(EditId::To).SetText("7FF");
    EXPECT_EQ(AddGroup("1", "12345"), std::nullopt);
    EXPECT_EQ(sink.shown,
              (decltype(sink.shown){{"ID 0x12345 is wider than 11 bits", MessageIcon::Stop}}));
    EXPECT_EQ(table.RowCount(), 0u);
    EXPECT_EQ(Edit(EditId::To).Text(), "12345");

    Bench filter(kMapping);
    filter.editor.ClickWidthRadio(WidthRadio::Target29);
    filter.editor.SetMode(kFilter);
    EXPECT_EQ(filter.AddGroup("100", "1000"), std::nullopt);
    EXPECT_EQ(filter.sink.Last(), "ID 0x1000 is wider than 11 bits");
}

TEST_F(EntryEditorTest, AddMovesSelectionFromTheOldLastRowToTheNewOne) {
    AddSingles(5);
    table.Row(1).selected = table.Row(1).focused = true;
    table.Row(4).selected = true;
    EXPECT_EQ(AddGroup("100", "1FF"), 5u);
    EXPECT_EQ(Flagged(&IdRow::selected), (Rows{1, 5}));
    EXPECT_EQ(Flagged(&IdRow::focused), (Rows{5}));
    // A refusal leaves the selection alone.
    EXPECT_EQ(AddGroup("100", "1FF"), std::nullopt);
    EXPECT_EQ(Flagged(&IdRow::selected), (Rows{1, 5}));

    // The second removal is at position 4 of the shrunk table, where no row stands.
    EXPECT_EQ(editor.DeleteRow(), std::nullopt);
    EXPECT_EQ(Ids(), (Texts{"0x001", "0x003", "0x004", "0x005"}));
    EXPECT_TRUE(Flagged(&IdRow::selected).empty());
}

TEST_F(EntryEditorTest, DeleteRowSelectsAndFocusesTheRowThatTookThePlace) {
    AddSingles(5);
    table.Row(2).selected = true;
    table.Row(0).focused = true;
    EXPECT_EQ(editor.DeleteRow(), 2u);
    EXPECT_EQ(Flagged(&IdRow::selected), (Rows{2}));
    EXPECT_EQ(Flagged(&IdRow::focused), (Rows{2}));
    EXPECT_EQ(table.Row(2).id, "0x004");

    Bench only;
    only.editor.AddSingle();
    EXPECT_EQ(only.editor.DeleteRow(), std::nullopt);
    EXPECT_EQ(only.table.RowCount(), 0u);
}

TEST_F(EntryEditorTest, OptionValueFilteredOnlyForTheUserDefinedBitRate) {
    struct Step {
        bool firstEntry;
        const char* typed;
        const char* shown;
        const char* lastAccepted;
    };
    const Step steps[] = {
        {true, "83.3.", "", ""},  // nothing accepted yet: back to empty
        {true, "0", "", ""},
        {true, "125", "125", "125"},
        {true, "125.5.", "125", "125"},
        {true, "0125", "125", "125"},
        {true, "00000000", "00000000", "125"},
        {true, "x", "125", "125"},
        {true, "123456789", "12345678", "12345678"},
        {false, "0.0.0", "0.0.0", "12345678"},
        {true, "0.0.0", "12345678", "12345678"},
    };
    EditField& option = Edit(EditId::OptionValue);
    EXPECT_EQ(option.Text(), "83.333");
    for (const auto& s : steps) {
        editor.SetOptionSelectorFirstEntry(s.firstEntry);
        option.UserChange(s.typed);
        EXPECT_EQ(option.Text(), s.shown) << s.typed;
        EXPECT_EQ(option.LastAccepted(), s.lastAccepted) << s.typed;
    }
}

TEST_F(EntryEditorTest, FuncTestRefusesInFilterMode) {
    ScriptedRandom random;
    EXPECT_EQ(editor.FuncTest(random, 7), 0u);
    EXPECT_EQ(sink.shown,
              (std::vector<Shown>{{"Please Choose \"CAN-ID Mapping\" Option", MessageIcon::None}}));
    EXPECT_EQ(random.draws, 0u);
}

TEST_F(EntryEditorTest, FuncTestAddsOneHundredElevenBitMappings) {
    editor.SetMode(kMapping);
    table.AppendEntry({IdKind::Mid11To11, 0x7FE, 0x7FE});
    table.AppendEntry({IdKind::Mid11To11, 0x7FD, 0x7FD});
    // Row n = 2: from = (3*2 + 10*0xFFFFFFFF) & 0x7FF, the product wrapping to -10, so 0x7FC;
    // to = (4*2 + 10*0x80000000) & 0x7FF, the product wrapping to 0, so 0x008. The draws then
    // count up from 0: row n = k + 2 gets W = 2k - 2, X = 2k - 1 and the free source 23k - 14.
    ScriptedRandom random({0xFFFFFFFF, 0x80000000});
    EXPECT_EQ(editor.FuncTest(random, 1234), 100u);
    EXPECT_EQ(random.seeds, std::vector<uint32_t>{1234});
    EXPECT_EQ(random.draws, 200u);
    EXPECT_TRUE(sink.shown.empty());
    ASSERT_EQ(table.RowCount(), 102u);
    EXPECT_EQ(table.Row(2).type, "11>11-bit MID");
    EXPECT_EQ(table.Row(2).id, "0x7FC>0x008");
    // The last numbers stay in the edits, without prefix or padding.
    const uint32_t from = (3 * 101 + 10 * 196) & 0x7FF, to = (4 * 101 + 10 * 197) & 0x7FF;
    EXPECT_EQ(Edit(EditId::From).Text(), FormatText("%X", from));
    EXPECT_EQ(Edit(EditId::To).Text(), FormatText("%X", to));
    EXPECT_EQ(table.Row(101).id, FormatText("0x%03X>0x%03X", from, to));
    EXPECT_EQ(Flagged(&IdRow::selected), (Rows{101}));
}

TEST_F(EntryEditorTest, FuncTestDrawsWXYZForTwentyNineBitSources) {
    editor.SetMode(kMapping);
    editor.ClickWidthRadio(WidthRadio::Group29);
    editor.ClickWidthRadio(WidthRadio::Target29);
    AddSingles(3);
    // Row n = 3:
    // from = (0x12345678 * 3 * 190887430 + 0xFFFFFFFF + 1) & 0x1FFFFFFF = 0x071A0470;
    // to = (Z 0xFFFFFFF0 + 10 * Y 0x10000000 + 36984440 * 3 + 1) & 0x1FFFFFFF = 0x069D0359.
    ScriptedRandom random({0x12345678, 0xFFFFFFFF, 0x10000000, 0xFFFFFFF0}, 1000);
    EXPECT_EQ(editor.FuncTest(random, 99), 100u);
    ASSERT_EQ(table.RowCount(), 103u);
    EXPECT_EQ(table.Row(3).type, "29>29-bit MID");
    EXPECT_EQ(table.Row(3).id, "0x071A0470>0x069D0359");
    EXPECT_EQ(random.draws % 4, 0u);
}

TEST_F(EntryEditorTest, FuncTestGoesOnAfterDuplicatesButNotForever) {
    editor.SetMode(kMapping);
    // Row n = 1 with W = 0 draws the taken source 0x003.
    table.AppendEntry({IdKind::Mid11To11, 0x003, 0x7FF});
    ScriptedRandom once({0, 0}, 1);
    EXPECT_EQ(editor.FuncTest(once, 0), 100u);
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_EQ(sink.shown.front(), Shown("CAN 11-bit Mapping ID is Existing !", MessageIcon::Stop));

    Bench stuck(kMapping);
    stuck.table.AppendEntry({IdKind::Mid11To11, 0x003, 0x7FF});
    ScriptedRandom zeros(std::vector<uint32_t>(2 * EntryEditor::kFuncTestRefusalLimit + 2, 0));
    EXPECT_EQ(stuck.editor.FuncTest(zeros, 0), 0u);
    EXPECT_EQ(stuck.sink.shown.size(), EntryEditor::kFuncTestRefusalLimit);
}

}  // namespace
}  // namespace b6409
