#include "files/workbook_export.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "files/in_child.h"
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

TEST_F(WorkbookExportOnDisk, ARowADownloadWouldRefuseWritesNoWorkbook) {
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x123, 0});
    table.AppendRow("002", "11-bit SID", "0x1'23");
    EXPECT_FALSE(ExportWorkbook(dir / "quote.xls", IdListMode::Filter, table, 1, sink));
    EXPECT_EQ(sink.shown,
              (std::vector<std::pair<std::string, MessageIcon>>{
                  {"Row 002: \"0x1'23\" is no 11-bit ID. Nothing was saved.", MessageIcon::Stop}}));
    EXPECT_FALSE(std::filesystem::exists(dir / "quote.xls"));
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

IdTable FilterRows(size_t rows) {
    IdTable table;
    for (size_t i = 0; i < rows; ++i)
        table.AppendEntry({IdKind::Gid29, uint32_t(2 * i), uint32_t(2 * i + 1)});
    return table;
}

TEST_F(WorkbookExportOnDisk, AFailedExportLeavesTheOldWorkbookWhole) {
    const std::string path = dir / "frames.xls";
    ASSERT_TRUE(ExportWorkbook(path, IdListMode::Filter, FilterRows(1), 1, sink));
    const std::vector<uint8_t> old = testing::ReadBytes(path);
    const struct {
        size_t rows;
        rlim_t fileSize;  // a full disk: no file grows beyond this
        std::string message;
    } cases[] = {
        {2000, 16384, "Cannot write workbook '" + path + "': File too large"},
        {100000, RLIM_INFINITY,
         "\"" + path +
             "\" cannot hold 100000 rows !\nA sheet takes at most 65533; please split "
             "the list !"},
    };
    for (const auto& c : cases) {
        const std::string message = test::RunInChild(
            [&] {
                test::RecordingSink failing;
                ExportWorkbook(path, IdListMode::Filter, FilterRows(c.rows), 1, failing);
                return failing.Last();
            },
            {.fileSize = c.fileSize});
        EXPECT_EQ(message, c.message) << c.rows;
        EXPECT_EQ(testing::ReadBytes(path), old) << c.rows;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

TEST_F(WorkbookExportOnDisk, AWorkbookUnderAnotherProgramsRecordLockIsLeftAlone) {
    const std::string path = dir / "held.xls";
    ASSERT_TRUE(ExportWorkbook(path, IdListMode::Filter, IdTable{}, 1, sink));
    const std::vector<uint8_t> old = testing::ReadBytes(path);
    int locked[2], release[2];
    ASSERT_EQ(pipe(locked), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        // An office suite's hold on a file it has open, until the test closes the pipe.
        close(release[1]);
        const int fd = open(path.c_str(), O_RDONLY);
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        char done = fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
        if (write(locked[1], &done, 1) != 1 || read(release[0], &done, 1) < 0) _exit(1);
        _exit(0);
    }
    char done = 0;
    ASSERT_EQ(read(locked[0], &done, 1), 1);
    ASSERT_EQ(done, 'y');
    EXPECT_FALSE(ExportWorkbook(path, IdListMode::Filter, FilterRows(3), 1, sink));
    EXPECT_EQ(sink.Last(), "\"" + path + "\" is opened !\nPlease close file first !");
    EXPECT_EQ(testing::ReadBytes(path), old);
    close(release[1]);
    waitpid(holder, nullptr, 0);
    for (int fd : {locked[0], locked[1], release[0]}) close(fd);
}

}  // namespace
}  // namespace b6409
