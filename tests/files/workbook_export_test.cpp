#include "files/workbook_export.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "sheet/sheet_test_support.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

using Rows = std::vector<std::vector<std::string>>;

TEST(WorkbookExport, FrameRowsOfAFilterListOnCan2) {
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x123, 0});
    table.AppendEntry({IdKind::Gid29, 0x100, 0x1FF});
    table.AppendRow("003", "11>11-bit MID", "0x100>0x200");  // not a filter form: no frame
    const Rows expected = {
        {"0", "0x201", "0", "8", "0x00000000", "0x00000000"},
        {"0", "0x211", "0", "8", "0x123", "0xFFFFFFFF"},
        {"0", "0x214", "0", "8", "0x00000100", "0x000001FF"},
        {"0", "0x202", "0", "8", "0x00000000", "0x00000000"},
    };
    EXPECT_EQ(ExportFrameRows(IdListMode::Filter, table, 2), expected);
}

TEST(WorkbookExport, MappingTargetsOfTheOtherWidthCarryTheFlagWithoutPrefix) {
    IdTable table;
    table.AppendEntry({IdKind::Mid11To29, 0x123, 0x1FFFFFFF});
    table.AppendEntry({IdKind::Mid29To11, 0x1FFFFFFF, 0x7FF});
    table.AppendEntry({IdKind::Mid11To11, 0x100, 0x200});
    table.AppendEntry({IdKind::Mid29To29, 0x1, 0x2});
    const Rows expected = {
        {"0", "0x107", "0", "8", "0x00000000", "0x00000000"},
        {"0", "0x115", "0", "8", "0x123", "9FFFFFFF"},
        {"0", "0x116", "0", "8", "0x1FFFFFFF", "800007FF"},
        {"0", "0x115", "0", "8", "0x100", "0x200"},
        {"0", "0x116", "0", "8", "0x00000001", "0x00000002"},
        {"0", "0x108", "0", "8", "0x00000000", "0x00000000"},
    };
    EXPECT_EQ(ExportFrameRows(IdListMode::Mapping, table, 1), expected);
    // An empty table still has its begin and end frames.
    EXPECT_EQ(ExportFrameRows(IdListMode::Filter, IdTable{}, 1).size(), 2u);
}

TEST(WorkbookExport, PathRules) {
    EXPECT_EQ(WorkbookFilePath("list.dat"), "list.dat.xls");
    EXPECT_EQ(WorkbookFilePath("list.XLS"), "list.XLS.xls");
    EXPECT_EQ(WorkbookFilePath("list.xls.txt"), "list.xls.txt");
    EXPECT_EQ(WorkbookFilePath("list.xls"), "list.xls");
}

class WorkbookExportOnDisk : public ::testing::Test {
  protected:
    testing::TempDir dir;
    test::RecordingSink sink;
};

TEST_F(WorkbookExportOnDisk, AnIndependentReaderFindsExactlyTheFrames) {
    if (!testing::PythonHas("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x011, 0});
    table.AppendEntry({IdKind::Sid11, 0x7E0, 0});
    ASSERT_TRUE(ExportWorkbook(dir / "filters", IdListMode::Filter, table, 2, sink));
    EXPECT_EQ(sink.shown.back(),
              std::make_pair(std::string("File Saved OK !!"), MessageIcon::Information));

    Workbook expected;
    Rows rows = {ExportHeader()};
    for (const auto& row : ExportFrameRows(IdListMode::Filter, table, 2)) rows.push_back(row);
    expected.sheets.push_back({"CANFID", rows});
    EXPECT_EQ(testing::XlrdCompare(dir, dir / "filters.xls", expected), "OK\n");
    EXPECT_EQ(rows[1][1], "0x201");
    EXPECT_EQ(rows[2][1], "0x211");
    EXPECT_EQ(rows.back()[1], "0x202");

    // Saving a mapping list over it leaves only the new sheet.
    IdTable mappings;
    mappings.AppendEntry({IdKind::Mid11To29, 0x123, 0x1FFFFFFF});
    mappings.AppendEntry({IdKind::Mid29To11, 0x1FFFFFFF, 0x7FF});
    ASSERT_TRUE(ExportWorkbook(dir / "filters.xls", IdListMode::Mapping, mappings, 1, sink));
    Workbook replaced;
    Rows mappingRows = {ExportHeader()};
    for (const auto& row : ExportFrameRows(IdListMode::Mapping, mappings, 1))
        mappingRows.push_back(row);
    replaced.sheets.push_back({"CANMID", mappingRows});
    EXPECT_EQ(testing::XlrdCompare(dir, dir / "filters.xls", replaced), "OK\n");
    EXPECT_EQ(mappingRows[2][5], "9FFFFFFF");
    EXPECT_EQ(mappingRows[3][5], "800007FF");
}

TEST_F(WorkbookExportOnDisk, AWorkbookHeldByAnotherProgramIsLeftAlone) {
    IdTable table;
    ASSERT_TRUE(ExportWorkbook(dir / "held.xls", IdListMode::Filter, table, 1, sink));
    const int fd = open((dir / "held.xls").c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    EXPECT_FALSE(ExportWorkbook(dir / "held.xls", IdListMode::Filter, table, 1, sink));
    EXPECT_EQ(sink.Last(), "\"" + (dir / "held.xls") + "\" is opened !\nPlease close file first !");
    EXPECT_EQ(sink.shown.back().second, MessageIcon::Stop);
    close(fd);
    EXPECT_TRUE(ExportWorkbook(dir / "held.xls", IdListMode::Filter, table, 1, sink));
}

TEST_F(WorkbookExportOnDisk, FailuresAreNeverReportedAsSaved) {
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x123, 0});
    // No spreadsheet driver installed at all.
    DriverRegistry none;
    EXPECT_FALSE(ExportWorkbook(dir / "x.xls", IdListMode::Filter, table, 1, sink, none));
    EXPECT_NE(sink.Last(), "File Saved OK !!");
    EXPECT_EQ(sink.shown.back().second, MessageIcon::Stop);
    // A folder that does not exist.
    EXPECT_FALSE(ExportWorkbook(dir / "missing/x.xls", IdListMode::Filter, table, 1, sink));
    EXPECT_NE(sink.Last(), "File Saved OK !!");
}

TEST_F(WorkbookExportOnDisk, AQuoteInATextIsStoredAsItself) {
    IdTable table;
    table.AppendRow("001", "11-bit SID", "0x1'23");
    ASSERT_TRUE(ExportWorkbook(dir / "quote.xls", IdListMode::Filter, table, 1, sink));
    const Workbook read = testing::ReadWorkbookFile(dir / "quote.xls");
    ASSERT_EQ(read.sheets.size(), 1u);
    EXPECT_EQ(read.sheets[0].rows[2][4], "0x1'23");
}

TEST_F(WorkbookExportOnDisk, ANameWithXlsInsideIsWrittenAsText) {
    IdTable table;
    ASSERT_TRUE(ExportWorkbook(dir / "list.xls.txt", IdListMode::Filter, table, 1, sink));
    EXPECT_EQ(
        testing::ReadText(dir / "list.xls.txt"),
        "\"Mode\"CANFID\"ID\"CANFID\"RTR\"CANFID\"DLC\"CANFID\"DataL\"CANFID\"DataH\"\r\n"
        "\"0\"CANFID\"0x101\"CANFID\"0\"CANFID\"8\"CANFID\"0x00000000\"CANFID\"0x00000000\"\r\n"
        "\"0\"CANFID\"0x102\"CANFID\"0\"CANFID\"8\"CANFID\"0x00000000\"CANFID\"0x00000000\"\r\n");
}

}  // namespace
}  // namespace b6409
