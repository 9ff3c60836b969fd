#include "idtable/id_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace b6409 {
namespace {

std::vector<std::string> Numbers(const IdTable& table) {
    std::vector<std::string> numbers;
    for (const auto& row : table.Rows()) numbers.push_back(row.number);
    return numbers;
}

std::vector<std::string> Ids(const IdTable& table) {
    std::vector<std::string> ids;
    for (const auto& row : table.Rows()) ids.push_back(row.id);
    return ids;
}

IdTable FiveSingles() {
    IdTable table;
    for (uint32_t id = 1; id <= 5; ++id) table.AppendEntry({IdKind::Sid11, id, 0});
    return table;
}

TEST(IdTableReceive, ElevenBitZeroOnlyAsFirstRow) {
    IdTable table;
    table.AppendReceived(0x11, 0);
    ASSERT_EQ(table.RowCount(), 1u);
    EXPECT_EQ(table.Row(0).number, "001");
    EXPECT_EQ(table.Row(0).type, "11-bit SID");
    EXPECT_EQ(table.Row(0).id, "0x000");

    table.AppendReceived(0x11, 0);
    EXPECT_EQ(table.RowCount(), 1u);
    table.AppendReceived(0x13, 0);
    table.AppendReceived(0x13, 0);
    table.AppendReceived(0x11, 0xFFFF);
    EXPECT_EQ(Ids(table), (std::vector<std::string>{"0x000", "0x00000000", "0x00000000", "0x7FF"}));
    EXPECT_EQ(table.Row(1).type, "29-bit SID");
}

struct PairCase {
    uint16_t firstCode;
    uint32_t firstValue;
    uint16_t secondCode;
    uint32_t secondValue;
    const char* type;
    const char* id;
};

TEST(IdTableReceive, PairsTakeTheKindOfTheSecondCode) {
    const PairCase cases[] = {
        {0x12, 0x100, 0x12, 0x1FF, "11-bit GID", "0x100~0x1FF"},
        {0x12, 0xFFFFF, 0x12, 0x80000FFF, "11-bit GID", "0x7FF~0x7FF"},
        {0x14, 0x100, 0x14, 0x1FF, "29-bit GID", "0x00000100~0x000001FF"},
        {0x14, 0xFFFFFFFF, 0x14, 0xE0000001, "29-bit GID", "0x1FFFFFFF~0x00000001"},
        {0x15, 0x123, 0x15, 0x80000000 + 0x456, "11>29-bit MID", "0x123>0x00000456"},
        {0x15, 0x123, 0x15, 0x456, "11>11-bit MID", "0x123>0x456"},
        // An 11-bit target is masked to 29 bits, so wide values show more digits.
        {0x15, 0x923, 0x15, 0x1234, "11>11-bit MID", "0x123>0x1234"},
        {0x16, 0x1FFFFFFF, 0x16, 0x80000000 + 0x12, "29>11-bit MID", "0x1FFFFFFF>0x012"},
        {0x16, 0x100, 0x16, 0xFFFFFFFF, "29>11-bit MID", "0x00000100>0x1FFFFFFF"},
        {0x16, 0x12345678, 0x16, 0x0ABCDEF0, "29>29-bit MID", "0x12345678>0x0ABCDEF0"},
        // One pending value for all codes: the first is masked by its own code, the kind
        // comes from the second.
        {0x12, 0xF100, 0x16, 0x80000012, "29>11-bit MID", "0x00000100>0x012"},
        {0x14, 0x1234567, 0x12, 0x1FF, "11-bit GID", "0x1234567~0x1FF"},
    };
    for (const auto& c : cases) {
        IdTable table;
        table.AppendEntry({IdKind::Sid11, 1, 0});
        table.AppendReceived(c.firstCode, c.firstValue);
        EXPECT_EQ(table.RowCount(), 1u) << c.id;
        table.AppendReceived(c.secondCode, c.secondValue);
        ASSERT_EQ(table.RowCount(), 2u) << c.id;
        EXPECT_EQ(table.Row(1).number, "002");
        EXPECT_EQ(table.Row(1).type, c.type);
        EXPECT_EQ(table.Row(1).id, c.id);
        // The pair is finished: the next value starts a new one.
        table.AppendReceived(c.secondCode, 5);
        EXPECT_EQ(table.RowCount(), 2u) << c.id;
    }
}

TEST(IdTableReceive, SingleValuesAndUnknownCodesLeaveThePendingValue) {
    IdTable table;
    table.AppendReceived(0x12, 0x100);
    table.AppendReceived(0x13, 0x5);
    table.AppendReceived(0x10, 0x7);
    table.AppendReceived(0x17, 0x7);
    table.AppendReceived(0x12, 0x1FF);
    EXPECT_EQ(Ids(table), (std::vector<std::string>{"0x00000005", "0x100~0x1FF"}));
}

TEST(IdTableReceive, ResetForgetsALoneFirstHalfButClearDoesNot) {
    IdTable table;
    table.AppendReceived(0x12, 0x100);
    table.ResetReceivePairing();
    table.AppendReceived(0x12, 0x200);
    table.AppendReceived(0x12, 0x300);
    EXPECT_EQ(Ids(table), (std::vector<std::string>{"0x200~0x300"}));

    table.AppendReceived(0x14, 0x400);
    table.Clear();
    table.AppendReceived(0x14, 0x500);
    EXPECT_EQ(Ids(table), (std::vector<std::string>{"0x00000400~0x00000500"}));
}

TEST(IdTable, NumbersGrowPastThreeDigits) {
    IdTable table;
    for (uint32_t i = 0; i < 1000; ++i) table.AppendEntry({IdKind::Sid29, i, 0});
    EXPECT_EQ(table.Row(998).number, "999");
    EXPECT_EQ(table.Row(999).number, "1000");
}

struct DeleteCase {
    std::set<size_t> selected;
    std::vector<std::string> ids;
    std::optional<size_t> result;
};

TEST(IdTableDelete, RemovesSelectedRowsAndRenumbers) {
    const DeleteCase cases[] = {
        {{2}, {"0x001", "0x002", "0x004", "0x005"}, 2},
        {{0}, {"0x002", "0x003", "0x004", "0x005"}, 0},
        {{4}, {"0x001", "0x002", "0x003", "0x004"}, 3},
        {{0, 1}, {"0x003", "0x004", "0x005"}, 0},
        {{1, 3}, {"0x001", "0x003", "0x005"}, 2},
        // The last removal happens at position 4 of the shrunk table, which is not the old
        // last position, so nothing stands there to select.
        {{1, 4}, {"0x001", "0x003", "0x004"}, std::nullopt},
        {{0, 1, 2, 3, 4}, {}, std::nullopt},
        {{}, {"0x001", "0x002", "0x003", "0x004", "0x005"}, std::nullopt},
    };
    for (const auto& c : cases) {
        IdTable table = FiveSingles();
        for (size_t p : c.selected) table.Row(p).selected = true;
        EXPECT_EQ(table.DeleteSelected(), c.result) << testing::PrintToString(c.selected);
        EXPECT_EQ(Ids(table), c.ids) << testing::PrintToString(c.selected);
        for (size_t p = 0; p < table.RowCount(); ++p) {
            EXPECT_EQ(table.Row(p).number, RowNumberText(p + 1));
            EXPECT_FALSE(table.Row(p).selected);
        }
    }
}

TEST(IdTableDelete, OnlyRowLeavesNothingToSelect) {
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 1, 0});
    table.Row(0).selected = true;
    EXPECT_EQ(table.DeleteSelected(), std::nullopt);
    EXPECT_EQ(table.RowCount(), 0u);
}

TEST(IdTableDelete, LoadedNumbersBeforeTheFirstRemovalStay) {
    IdTable table;
    table.AppendRow("005", "11-bit SID", "0x005");
    table.AppendRow("009", "11-bit SID", "0x009");
    table.AppendRow("012", "11-bit SID", "0x012");
    table.Row(1).selected = true;
    EXPECT_EQ(table.DeleteSelected(), 1u);
    EXPECT_EQ(Numbers(table), (std::vector<std::string>{"005", "002"}));
    EXPECT_EQ(Ids(table), (std::vector<std::string>{"0x005", "0x012"}));
}

TEST(IdTableFind, MappingSourceMatchesTheWholeTextBeforeTheArrow) {
    IdTable table;
    table.AppendRow("001", "11>11-bit MID", "0x123F>0x456");
    table.AppendRow("002", "11-bit GID", "0x123~0x456");
    EXPECT_EQ(table.FindMappingSource("0x123"), std::nullopt);
    table.AppendRow("003", "11>11-bit MID", "0x123>0x456");
    EXPECT_EQ(table.FindMappingSource("0x123"), 2u);
    EXPECT_EQ(table.FindMappingSource("0x00000123"), std::nullopt);
}

TEST(IdTableCheck, EveryRowMustBeOneOfTheModesFormsWithValuesThatFit) {
    struct Case {
        IdListMode mode;
        const char* type;
        const char* id;
        const char* problem;  // after "Row 007: "; empty for a row that can be sent
    };
    const Case cases[] = {
        // What the table writes, and what a hand-edited file may reasonably hold.
        {IdListMode::Filter, "11-bit SID", "0x7FF", ""},
        {IdListMode::Filter, "11-bit SID", "0x7ff", ""},
        {IdListMode::Filter, "11-bit SID", "0X00000001", ""},
        {IdListMode::Filter, "29-bit SID", "0x1FFFFFFF", ""},
        {IdListMode::Filter, "11-bit GID", "0x100~0x101", ""},
        {IdListMode::Filter, "29-bit GID", "0x0~0x1FFFFFFF", ""},
        {IdListMode::Mapping, "11>11-bit MID", "0x7FF>0x000", ""},
        {IdListMode::Mapping, "11>29-bit MID", "0x123>0x1FFFFFFF", ""},
        {IdListMode::Mapping, "29>11-bit MID", "0x1FFFFFFF>0x7FF", ""},
        {IdListMode::Mapping, "29>29-bit MID", "0x00000002>0x00000001", ""},
        // Type texts of no form of the mode.
        {IdListMode::Filter, "bogus", "0x123", "\"bogus\" is no type of a filter list."},
        {IdListMode::Filter, "11-bit sid", "0x123", "\"11-bit sid\" is no type of a filter list."},
        {IdListMode::Filter, "", "0x123", "\"\" is no type of a filter list."},
        {IdListMode::Mapping, "11-bit SID", "0x123",
         "\"11-bit SID\" is no type of a mapping list."},
        // ID texts that are no number of the form, or do not fit its widths.
        {IdListMode::Filter, "11-bit SID", "hello", "\"hello\" is no 11-bit ID."},
        {IdListMode::Filter, "11-bit SID", "0x12345", "\"0x12345\" is no 11-bit ID."},
        {IdListMode::Filter, "11-bit SID", "123", "\"123\" is no 11-bit ID."},
        {IdListMode::Filter, "11-bit SID", "0x", "\"0x\" is no 11-bit ID."},
        {IdListMode::Filter, "11-bit SID", " 0x123", "\" 0x123\" is no 11-bit ID."},
        {IdListMode::Filter, "29-bit SID", "0x000000001", "\"0x000000001\" is no 29-bit ID."},
        {IdListMode::Filter, "29-bit SID", "0x20000000", "\"0x20000000\" is no 29-bit ID."},
        {IdListMode::Filter, "11-bit GID", "0x100", "\"0x100\" is no 11-bit ID range."},
        {IdListMode::Filter, "11-bit GID", "0x100>0x1FF", "\"0x100>0x1FF\" is no 11-bit ID range."},
        {IdListMode::Filter, "29-bit GID", "0x1~0x2~0x3", "\"0x1~0x2~0x3\" is no 29-bit ID range."},
        {IdListMode::Mapping, "11>29-bit MID", "0x123>0x9FFFFFFF",
         "\"0x123>0x9FFFFFFF\" is no 11>29-bit mapping."},
        // A filter range must rise.
        {IdListMode::Filter, "11-bit GID", "0x200~0x100",
         "the range \"0x200~0x100\" must start below its end."},
        {IdListMode::Filter, "29-bit GID", "0x5~0x5",
         "the range \"0x5~0x5\" must start below its end."},
    };
    for (const Case& c : cases) {
        IdTable table;
        table.AppendEntry({c.mode == IdListMode::Filter ? IdKind::Sid11 : IdKind::Mid11To11, 1, 1});
        table.AppendRow("007", c.type, c.id);
        const std::optional<std::string> expected =
            *c.problem ? std::optional("Row 007: " + std::string(c.problem)) : std::nullopt;
        EXPECT_EQ(FirstUnsendableRow(c.mode, table), expected) << c.type << " " << c.id;
    }
    // A row whose number text a file left empty is named by its place.
    IdTable unnumbered;
    unnumbered.AppendRow("", "11-bit SID", "hello");
    EXPECT_EQ(FirstUnsendableRow(IdListMode::Filter, unnumbered),
              "Row 001: \"hello\" is no 11-bit ID.");
}

}  // namespace
}  // namespace b6409
