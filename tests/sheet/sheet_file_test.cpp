#include "sheet/sheet_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sheet/workbook_driver.h"
#include "tests/sheet/sheet_test_support.h"

namespace b6409 {
namespace {

using testing::ReadText;
using testing::RecordingDriver;
using testing::TempDir;
using testing::WriteText;

const std::vector<std::string> kHeader = {"Mode", "ID", "RTR", "DLC", "DataL", "DataH"};
const std::vector<std::string> kBegin = {"0", "0x101", "0", "8", "0x00000000", "0x00000000"};
const std::vector<std::string> kEntry = {"0", "0x111", "0", "8", "0x123", "0xFFFFFFFF"};
const std::vector<std::string> kEnd = {"0", "0x102", "0", "8", "0x00000000", "0x00000000"};
const char kCreateCanfid[] =
    "CREATE TABLE [CANFID] ([Mode] char(255), [ID] char(255), [RTR] char(255), [DLC] "
    "char(255), [DataL] char(255), [DataH] char(255))";

// A registry with a recording driver among others, as a test drives SheetFile through it.
class SheetFileWithFakeDriver : public ::testing::Test {
  protected:
    SheetFileWithFakeDriver() {
        registry.Install("Text Files Driver (*.txt)", std::make_unique<RecordingDriver>());
        registry.Install("Spreadsheet excel", std::make_unique<RecordingDriver>());  // wrong case
        auto recording = std::make_unique<RecordingDriver>();
        driver = recording.get();
        registry.Install("Fake Excel Driver (*.xls)", std::move(recording));
        registry.Install("Second Excel Driver", std::make_unique<RecordingDriver>());
    }

    void HoldSheet(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows) {
        driver->selectResult = RecordingDriver::Table{std::move(columns), std::move(rows)};
    }

    DriverRegistry registry;
    RecordingDriver* driver = nullptr;
    TempDir dir;
};

TEST_F(SheetFileWithFakeDriver, ConnectsThroughTheFirstExcelDriverWithTheFixedString) {
    const std::string path = dir / "list.xls";
    SheetFile sheet(path, "CANFID", false, registry);
    EXPECT_TRUE(sheet.workbookMode());
    EXPECT_EQ(sheet.driverName(), "Fake Excel Driver (*.xls)");
    const std::string expected =
        "DRIVER={Fake Excel Driver (*.xls)};DSN='';FIRSTROWHASNAMES=1;"
        "READONLY=FALSE;CREATE_DB=\"" +
        path + "\";DBQ={" + path + "}";
    EXPECT_EQ(sheet.connectString(), expected);
    EXPECT_EQ(driver->events, (std::vector<std::string>{
                                  "CONNECT " + expected,
                                  "QUERY SELECT * FROM [CANFID$A1:IV65536]",
                                  "CLOSE",
                              }));
    EXPECT_EQ(sheet.statementText(), "SELECT * FROM [CANFID$A1:IV65536]");
    // The sheet was not there: nothing is held and the error text is untouched.
    EXPECT_FALSE(sheet.sheetExists());
    EXPECT_EQ(sheet.totalRows(), 0);
    EXPECT_EQ(sheet.currentRow(), 1);
    EXPECT_EQ(sheet.errorText(), "");
}

TEST_F(SheetFileWithFakeDriver, ExportWritesOneCreateAndOneInsertPerRow) {
    SheetFile sheet(dir / "list.xls", "CANFID", false, registry);
    driver->events.clear();
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.AddHeaderFields(kHeader, true));
    ASSERT_TRUE(sheet.PutRow(kBegin, 2, true));
    ASSERT_TRUE(sheet.PutRow(kEntry, 3, true));
    ASSERT_TRUE(sheet.PutRow(kEnd, 4, true));
    EXPECT_TRUE(driver->events.empty()) << "deferred rows stay in memory";
    EXPECT_EQ(sheet.totalRows(), 4);

    ASSERT_TRUE(sheet.WriteBack());
    const std::string insert = "INSERT INTO [CANFID$A1:IV";
    const std::string columns = "] ([Mode], [ID], [RTR], [DLC], [DataL], [DataH]) VALUES (";
    EXPECT_EQ(driver->Executed(),
              (std::vector<std::string>{
                  kCreateCanfid,
                  insert + "1" + columns + "'0', '0x101', '0', '8', '0x00000000', '0x00000000')",
                  insert + "2" + columns + "'0', '0x111', '0', '8', '0x123', '0xFFFFFFFF')",
                  insert + "3" + columns + "'0', '0x102', '0', '8', '0x00000000', '0x00000000')",
              }));
    EXPECT_EQ(driver->events.front().rfind("CONNECT ", 0), 0u);
    EXPECT_EQ(driver->events.back(), "CLOSE");
    EXPECT_TRUE(sheet.sheetExists());
    EXPECT_FALSE(sheet.writesDeferred());
    EXPECT_EQ(sheet.totalColumns(), 6);

    // Now the sheet counts as existing: the next write drops and re-creates it with the range.
    driver->events.clear();
    ASSERT_TRUE(sheet.WriteBack());
    const auto again = driver->Executed();
    ASSERT_EQ(again.size(), 5u);
    EXPECT_EQ(again[0], "DROP TABLE [CANFID$A1:IV65536]");
    EXPECT_EQ(again[1], std::string("CREATE TABLE [CANFID$A1:IV65536] (") +
                            (kCreateCanfid + std::string(kCreateCanfid).find('(') + 1));
}

TEST_F(SheetFileWithFakeDriver, SingleQuotesInValuesAreDoubled) {
    SheetFile sheet(dir / "q.xls", "S", false, registry);
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.AddHeaderFields({"Name"}, true));
    ASSERT_TRUE(sheet.PutRow({"it's 'quoted'"}, 0, false));
    ASSERT_TRUE(sheet.WriteBack());
    EXPECT_EQ(driver->Executed().back(),
              "INSERT INTO [S$A1:IV1] ([Name]) VALUES ('it''s ''quoted''')");
}

TEST_F(SheetFileWithFakeDriver, WithoutDeferringEveryPutRowRewritesTheSheet) {
    SheetFile sheet(dir / "w.xls", "S", false, registry);
    driver->events.clear();
    ASSERT_TRUE(sheet.AddHeaderFields({"A", "B"}, true));
    EXPECT_EQ(driver->Executed(),
              (std::vector<std::string>{"CREATE TABLE [S] ([A] char(255), [B] char(255))"}));
    driver->events.clear();
    ASSERT_TRUE(sheet.PutRow({"1", "2"}, 0, false));
    EXPECT_EQ(driver->Executed(), (std::vector<std::string>{
                                      "DROP TABLE [S$A1:IV65536]",
                                      "CREATE TABLE [S$A1:IV65536] ([A] char(255), [B] char(255))",
                                      "INSERT INTO [S$A1:IV1] ([A], [B]) VALUES ('1', '2')",
                                  }));
}

TEST_F(SheetFileWithFakeDriver, ARefusedStatementStopsTheWriteWithTheDriverText) {
    SheetFile sheet(dir / "r.xls", "S", false, registry);
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.AddHeaderFields({"A"}, true));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(sheet.PutRow({std::to_string(i)}, 0, false));
    driver->events.clear();
    driver->refuseExecute = 2;  // the second insert
    driver->refuseText = "Value refused by the driver.";
    EXPECT_FALSE(sheet.WriteBack());
    EXPECT_EQ(sheet.errorText(), "Value refused by the driver.");
    EXPECT_EQ(driver->Executed().size(), 3u);
    EXPECT_EQ(driver->events.back(), "CLOSE");
    EXPECT_TRUE(sheet.writesDeferred());
}

TEST_F(SheetFileWithFakeDriver, AFailedCloseIsAFailedWrite) {
    SheetFile sheet(dir / "c.xls", "S", false, registry);
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.AddHeaderFields({"A"}, true));
    driver->closeFailure = "Cannot write workbook: disk full";
    EXPECT_FALSE(sheet.WriteBack());
    EXPECT_EQ(sheet.errorText(), "Cannot write workbook: disk full");
}

TEST_F(SheetFileWithFakeDriver, LoadsAnExistingSheetAsQuotedRowTexts) {
    HoldSheet({"a", "b"}, {{"1", "2"}, {"3", ""}});
    SheetFile sheet(dir / "e.xls", "S", false, registry);
    EXPECT_TRUE(sheet.sheetExists());
    EXPECT_EQ(sheet.totalRows(), 3);
    EXPECT_EQ(sheet.totalColumns(), 2);
    EXPECT_EQ(sheet.currentRow(), 1);
    EXPECT_EQ(sheet.headerFields(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(sheet.rowTexts(),
              (std::vector<std::string>{"\"a\",;.?\"b\"", "\"1\",;.?\"2\"", "\"3\",;.?\"\""}));

    std::vector<std::string> fields;
    ASSERT_TRUE(sheet.FetchRow(fields, 0));
    EXPECT_EQ(fields, (std::vector<std::string>{"a", "b"}));
    ASSERT_TRUE(sheet.FetchRow(fields, 0));
    ASSERT_TRUE(sheet.FetchRow(fields, 0));
    EXPECT_EQ(fields, (std::vector<std::string>{"3", ""}));
    EXPECT_FALSE(sheet.FetchRow(fields, 0));
    EXPECT_EQ(sheet.errorText(), "") << "running off the end leaves no message";
    EXPECT_FALSE(sheet.FetchRow(fields, 4));
    EXPECT_EQ(sheet.errorText(),
              "Desired row is greater than total number of rows in spreadsheet\n");
}

TEST_F(SheetFileWithFakeDriver, BackupCopiesTheLoadedRowsIntoTheirOwnSheet) {
    HoldSheet({"a", "b"}, {{"1", "2"}});
    SheetFile sheet(dir / "b.xls", "Data", true, registry);
    EXPECT_EQ(driver->Executed(),
              (std::vector<std::string>{
                  "CREATE TABLE [CSpreadSheetBackup] ([a] char(255), [b] char(255))",
                  "INSERT INTO [CSpreadSheetBackup$A1:IV1] ([a], [b]) VALUES ('1', '2')",
              }));
    EXPECT_TRUE(sheet.keepBackup());
    EXPECT_TRUE(sheet.sheetExists());
    EXPECT_EQ(sheet.sheetName(), "Data");
    EXPECT_EQ(sheet.currentRow(), 1);
}

TEST_F(SheetFileWithFakeDriver, AFailedBackupClearsKeepBackup) {
    HoldSheet({"a"}, {{"1"}});
    driver->refuseExecute = 0;
    driver->refuseText = "Table 'CSpreadSheetBackup' already exists.";
    SheetFile sheet(dir / "b.xls", "Data", true, registry);
    EXPECT_FALSE(sheet.keepBackup());
    EXPECT_EQ(sheet.errorText(), "Table 'CSpreadSheetBackup' already exists.");
    EXPECT_EQ(sheet.sheetName(), "Data");
    EXPECT_TRUE(sheet.sheetExists());
}

TEST_F(SheetFileWithFakeDriver, ARowThatCannotBeReadBlocksTheWriteBack) {
    HoldSheet({"a"}, {{"1"}, {"2"}, {"3"}});
    driver->failFieldAtRow = 1;
    SheetFile sheet(dir / "f.xls", "S", false, registry);
    EXPECT_EQ(sheet.errorText(), "Error reading row\n");
    driver->events.clear();
    // Writing back would drop the sheet and put back only the rows that were read.
    EXPECT_FALSE(sheet.WriteBack());
    EXPECT_TRUE(driver->events.empty());
}

TEST_F(SheetFileWithFakeDriver, AValueTheRowFormCannotHoldIsAReadError) {
    HoldSheet({"a", "b"}, {{"x\",;.?\"y", "z"}});
    SheetFile sheet(dir / "g.xls", "S", false, registry);
    EXPECT_EQ(sheet.errorText(), "Error reading row\n");
}

TEST_F(SheetFileWithFakeDriver, PutRowBeyondTheEndAddsFillerRowsOfSpaces) {
    HoldSheet({"a", "b", "c"}, {{"1", "2", "3"}});
    SheetFile sheet(dir / "p.xls", "S", false, registry);
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.PutRow({"x", "y"}, 5, true));
    EXPECT_EQ(sheet.totalRows(), 5);
    EXPECT_EQ(sheet.currentRow(), 5);
    EXPECT_EQ(sheet.rowTexts()[2], "\" \",;.?\" \",;.?\" \"");
    EXPECT_EQ(sheet.rowTexts()[3], "\" \",;.?\" \",;.?\" \"");
    EXPECT_EQ(sheet.rowTexts()[4], "\"x\",;.?\"y\"");
    std::vector<std::string> fields;
    ASSERT_TRUE(sheet.FetchRow(fields, 3));
    EXPECT_EQ(fields, (std::vector<std::string>{" ", " ", " "}));
}

TEST_F(SheetFileWithFakeDriver, PutRowInsertsOrReplacesWithinTheRows) {
    HoldSheet({"a"}, {{"1"}, {"2"}});
    SheetFile sheet(dir / "i.xls", "S", false, registry);
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.PutRow({"new"}, 2, false));
    EXPECT_EQ(sheet.totalRows(), 4);
    EXPECT_EQ(sheet.rowTexts(), (std::vector<std::string>{"\"a\"", "\"new\"", "\"1\"", "\"2\""}));
    EXPECT_EQ(sheet.currentRow(), 1);
    ASSERT_TRUE(sheet.PutRow({"over"}, 4, true));
    EXPECT_EQ(sheet.rowTexts().back(), "\"over\"");
    EXPECT_EQ(sheet.totalRows(), 4);
    ASSERT_TRUE(sheet.PutRow({"tail"}, 0, false));
    EXPECT_EQ(sheet.totalRows(), 5);
    EXPECT_EQ(sheet.currentRow(), 1);
}

TEST_F(SheetFileWithFakeDriver, WorkbookRowsAreCheckedAgainstTheHeader) {
    SheetFile sheet(dir / "h.xls", "S", false, registry);
    sheet.DeferWrites();
    EXPECT_FALSE(sheet.PutRow({"1"}, 2, true));
    EXPECT_EQ(sheet.errorText(), "No header row. Add header row first\n");

    EXPECT_FALSE(sheet.AddHeaderFields({"x", "a", "y", "a", "x"}, true));
    EXPECT_EQ(sheet.errorText(), "Duplicate header row field:x\n");
    ASSERT_TRUE(sheet.AddHeaderFields({"a", "b"}, true));
    EXPECT_EQ(sheet.totalRows(), 1);

    EXPECT_FALSE(sheet.PutRow({"1", "2", "3"}, 0, false));
    EXPECT_EQ(sheet.errorText(),
              "Number of columns to be added cannot be greater than the number of fields\n");
    EXPECT_FALSE(sheet.PutRow({"only"}, 1, true));
    EXPECT_EQ(sheet.errorText(),
              "Number of columns in new header row cannot be less than the number of columns in "
              "previous header row");
    EXPECT_TRUE(sheet.PutRow({"1"}, 0, false)) << "fewer fields than the header are fine";
}

TEST_F(SheetFileWithFakeDriver, AddHeaderFieldsExtendsAnExistingHeader) {
    HoldSheet({"a", "b"}, {{"1", "2"}});
    SheetFile sheet(dir / "x.xls", "S", false, registry);
    sheet.DeferWrites();
    EXPECT_FALSE(sheet.AddHeaderFields({"c", "b"}, false));
    EXPECT_EQ(sheet.errorText(), "Duplicate header row field:b\n");
    ASSERT_TRUE(sheet.AddHeaderFields({"c", "d"}, false));
    EXPECT_EQ(sheet.headerFields(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(sheet.totalColumns(), 4);
    EXPECT_EQ(sheet.rowTexts()[1], "\"1\",;.?\"2\"");
    ASSERT_TRUE(sheet.AddHeaderFields({"A", "B", "C", "D"}, true));
    EXPECT_EQ(sheet.rowTexts()[0], "\"A\",;.?\"B\",;.?\"C\",;.?\"D\"");
}

TEST_F(SheetFileWithFakeDriver, RefusesRowsTheRowFormWouldCorrupt) {
    SheetFile sheet(dir / "y.xls", "S", false, registry);
    sheet.DeferWrites();
    EXPECT_FALSE(sheet.AddHeaderFields({"a]b"}, true));
    EXPECT_EQ(sheet.errorText(), "Header row field cannot contain ']':a]b\n");
    ASSERT_TRUE(sheet.AddHeaderFields({"a", "b"}, true));
    // A lone field holding the separator would split into two; so would a quoted separator.
    EXPECT_FALSE(sheet.PutRow({"1,;.?2"}, 0, false));
    EXPECT_EQ(sheet.errorText(), "Field cannot be held unchanged:1,;.?2\n");
    EXPECT_FALSE(sheet.PutRow({"x\",;.?\"y", "z"}, 0, false));
    EXPECT_EQ(sheet.totalRows(), 1);
    // Quotes and separators that read back the same are held.
    EXPECT_TRUE(sheet.PutRow({"say \"hi\"", "a,;.?b"}, 0, false));
    std::vector<std::string> fields;
    ASSERT_TRUE(sheet.FetchRow(fields, 2));
    EXPECT_EQ(fields, (std::vector<std::string>{"say \"hi\"", "a,;.?b"}));

    EXPECT_FALSE(sheet.PutRow({"1"}, -1, false));
    EXPECT_EQ(sheet.errorText(), "Invalid row number\n");
    EXPECT_FALSE(sheet.FetchRow(fields, -3));
    EXPECT_FALSE(sheet.PutRow({"1"}, 70000, true));
    EXPECT_EQ(sheet.errorText(), "Row number is beyond the last row a sheet can hold\n");
    EXPECT_EQ(sheet.totalRows(), 2);
}

TEST_F(SheetFileWithFakeDriver, ChoosesTheModeByTheLastFourCharacters) {
    {
        SheetFile sheet(dir / "LIST.XLS", "S", false, registry);
        EXPECT_TRUE(sheet.workbookMode());
        EXPECT_EQ(sheet.separator(), ",;.?");
    }
    for (const char* name : {"list.txt", "list.xls.txt", "xls"}) {
        SheetFile sheet(dir / name, ",", false, registry);
        EXPECT_FALSE(sheet.workbookMode()) << name;
        EXPECT_EQ(sheet.separator(), ",");
        EXPECT_EQ(sheet.errorText(), "Error in opening file\n");
    }
}

TEST(SheetFileDriverSearch, NoExcelDriverMeansAFailedConnection) {
    TempDir dir;
    DriverRegistry empty;
    EXPECT_THROW(SheetFile(dir / "a.xls", "S", false, empty), DatabaseError);

    DriverRegistry others;
    others.Install("excel lower case", std::make_unique<RecordingDriver>());
    try {
        SheetFile sheet(dir / "a.xls", "S", false, others);
        FAIL() << "connected without a driver";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("not installed"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "a.xls"));
}

TEST(SheetSplitRowText, FollowsTheThreeRowForms) {
    EXPECT_EQ(SplitRowText("\"a\",;.?\"b\"", ",;.?"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitRowText("\"a\"", ",;.?"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitRowText("a,b,,c", ","), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(SplitRowText("\"\",\"\"", ","), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(SplitRowText("\"", ","), (std::vector<std::string>{"\""}));
    EXPECT_EQ(SplitRowText("plain", ","), (std::vector<std::string>{"plain"}));
    EXPECT_EQ(SplitRowText("", ","), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitRowText("a", ""), (std::vector<std::string>{"a"}));
}

// ---- text mode ----

TEST(SheetFileTextMode, WritesQuotedFieldsLineByLine) {
    TempDir dir;
    const std::string path = dir / "list.txt";
    SheetFile sheet(path, ";", false);
    EXPECT_EQ(sheet.errorText(), "Error in opening file\n");
    EXPECT_FALSE(sheet.sheetExists());
    ASSERT_TRUE(sheet.AddHeaderFields({"a", "a"}, true)) << "repeated names are fine here";
    EXPECT_EQ(ReadText(path), "\"a\";\"a\"\r\n");
    ASSERT_TRUE(sheet.PutRow({"1", "2", "3"}, 0, false));
    ASSERT_TRUE(sheet.PutRow({"x"}, 5, false));
    EXPECT_EQ(sheet.totalColumns(), 3);
    EXPECT_EQ(ReadText(path),
              "\"a\";\"a\"\r\n\"1\";\"2\";\"3\"\r\n\"\";\"\";\"\"\r\n\"\";\"\";\"\"\r\n\"x\"\r\n");
    EXPECT_FALSE(sheet.PutRow({"two\nlines"}, 0, false));
    EXPECT_EQ(sheet.errorText(), "Field cannot be held unchanged:two\nlines\n");
}

TEST(SheetFileTextMode, LoadsEveryLineAndCountsTheWidestRow) {
    TempDir dir;
    const std::string path = dir / "in.csv";
    WriteText(path, "\"h1\",\"h2\"\r\n\"1\",\"2\",\"3\"\nplain\r\nx,y");
    SheetFile sheet(path, ",", false);
    EXPECT_TRUE(sheet.sheetExists());
    EXPECT_EQ(sheet.totalRows(), 4);
    EXPECT_EQ(sheet.totalColumns(), 3);
    EXPECT_EQ(sheet.headerFields(), (std::vector<std::string>{"h1", "h2"}));
    EXPECT_EQ(sheet.currentRow(), 5) << "left after the last line";
    std::vector<std::string> fields;
    ASSERT_TRUE(sheet.FetchRow(fields, 3));
    EXPECT_EQ(fields, (std::vector<std::string>{"plain"}));
    ASSERT_TRUE(sheet.FetchRow(fields, 0));
    EXPECT_EQ(fields, (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(sheet.errorText().empty());
}

TEST(SheetFileTextMode, BackupCopiesTheLinesFoundAtOpening) {
    TempDir dir;
    const std::string path = dir / "data.txt";
    WriteText(path, "\"a\",\"b\"\n\"1\",\"2\"\n");
    {
        SheetFile sheet(path, ",", true);
        EXPECT_TRUE(sheet.keepBackup());
        EXPECT_EQ(ReadText(path + ".bak"), "\"a\",\"b\"\r\n\"1\",\"2\"\r\n");
        ASSERT_TRUE(sheet.PutRow({"3", "4"}, 0, false));
    }
    EXPECT_EQ(ReadText(path), "\"a\",\"b\"\r\n\"1\",\"2\"\r\n\"3\",\"4\"\r\n");
    EXPECT_EQ(ReadText(path + ".bak"), "\"a\",\"b\"\r\n\"1\",\"2\"\r\n");

    // An empty file has no columns: no backup is made.
    WriteText(dir / "empty.txt", "");
    SheetFile empty(dir / "empty.txt", ",", true);
    EXPECT_FALSE(empty.sheetExists());
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.txt.bak"));
}

TEST(SheetFileTextMode, ReportsFilesThatCannotBeWrittenOrRead) {
    TempDir dir;
    SheetFile missingFolder(dir / "no/such/folder.txt", ",", false);
    EXPECT_TRUE(missingFolder.PutRow({"a"}, 0, false)) << "PutRow does not pass the write on";
    EXPECT_FALSE(missingFolder.WriteBack());
    EXPECT_EQ(missingFolder.errorText(), "Error writing file\n");

    // Something at the path that cannot be read is not replaced by the few rows put since.
    std::filesystem::create_directory(dir / "folder.txt");
    SheetFile unreadable(dir / "folder.txt", ",", false);
    EXPECT_EQ(unreadable.errorText(), "Error in opening file\n");
    unreadable.DeferWrites();
    ASSERT_TRUE(unreadable.PutRow({"a"}, 0, false));
    EXPECT_FALSE(unreadable.WriteBack());
    EXPECT_EQ(unreadable.errorText(),
              "Sheet was not read completely; writing it back would lose rows\n");
}

// ---- with the embedded driver ----

TEST(SheetFileWorkbook, ExportCreatesAWorkbookThatReadsBack) {
    TempDir dir;
    const std::string path = dir / "list.xls";
    {
        SheetFile sheet(path, "CANFID", false);
        EXPECT_FALSE(sheet.sheetExists());
        EXPECT_EQ(sheet.driverName(), kEmbeddedWorkbookDriverName);
        EXPECT_FALSE(std::filesystem::exists(path)) << "nothing is written before a change";
        sheet.DeferWrites();
        ASSERT_TRUE(sheet.AddHeaderFields(kHeader, true));
        ASSERT_TRUE(sheet.PutRow(kBegin, 2, true));
        ASSERT_TRUE(sheet.PutRow(kEntry, 3, true));
        ASSERT_TRUE(sheet.PutRow(kEnd, 4, true));
        ASSERT_TRUE(sheet.WriteBack()) << sheet.errorText();
    }
    const Workbook book = testing::ReadWorkbookFile(path);
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].name, "CANFID");
    EXPECT_EQ(book.sheets[0].rows,
              (std::vector<std::vector<std::string>>{kHeader, kBegin, kEntry, kEnd}));

    // Opened again, the rows are there; a replaced row is written over the old sheet.
    SheetFile again(path, "CANFID", false);
    EXPECT_TRUE(again.sheetExists());
    EXPECT_EQ(again.totalRows(), 4);
    std::vector<std::string> fields;
    ASSERT_TRUE(again.FetchRow(fields, 3));
    EXPECT_EQ(fields, kEntry);
    ASSERT_TRUE(again.PutRow({"1", "0x7FF", "", "", "", "it's"}, 3, true));
    const Workbook after = testing::ReadWorkbookFile(path);
    ASSERT_EQ(after.sheets.size(), 1u);
    ASSERT_EQ(after.sheets[0].rows.size(), 4u);
    EXPECT_EQ(after.sheets[0].rows[2],
              (std::vector<std::string>{"1", "0x7FF", "", "", "", "it's"}));
}

TEST(SheetFileWorkbook, BackupSheetIsMadeOnceOnly) {
    TempDir dir;
    const std::string path = dir / "b.xls";
    {
        SheetFile sheet(path, "Data", false);
        sheet.DeferWrites();
        ASSERT_TRUE(sheet.AddHeaderFields({"a", "b"}, true));
        ASSERT_TRUE(sheet.PutRow({"1", "2"}, 0, false));
        ASSERT_TRUE(sheet.WriteBack());
    }
    {
        SheetFile sheet(path, "Data", true);
        EXPECT_TRUE(sheet.keepBackup()) << sheet.errorText();
    }
    Workbook book = testing::ReadWorkbookFile(path);
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.sheets[1].name, "CSpreadSheetBackup");
    EXPECT_EQ(book.sheets[1].rows, book.sheets[0].rows);

    SheetFile second(path, "Data", true);
    EXPECT_FALSE(second.keepBackup());
    EXPECT_EQ(second.errorText(), "Table 'CSpreadSheetBackup' already exists.");
}

TEST(SheetFileWorkbook, ALongValueIsRefusedAfterTheRowsBeforeIt) {
    TempDir dir;
    const std::string path = dir / "long.xls";
    SheetFile sheet(path, "S", false);
    sheet.DeferWrites();
    ASSERT_TRUE(sheet.AddHeaderFields({"A"}, true));
    ASSERT_TRUE(sheet.PutRow({"first"}, 0, false));
    ASSERT_TRUE(sheet.PutRow({std::string(256, 'x')}, 0, false));
    ASSERT_TRUE(sheet.PutRow({"third"}, 0, false));
    EXPECT_FALSE(sheet.WriteBack());
    EXPECT_EQ(sheet.errorText(), "The value for column 'A' is longer than 255 characters.");
    const Workbook book = testing::ReadWorkbookFile(path);
    EXPECT_EQ(book.sheets.at(0).rows, (std::vector<std::vector<std::string>>{{"A"}, {"first"}}));
}

TEST(SheetFileWorkbook, AnUnreadableWorkbookIsAConnectionFailure) {
    TempDir dir;
    const std::string path = dir / "broken.xls";
    testing::WriteText(path, "this is not a workbook at all, just some text");
    try {
        SheetFile sheet(path, "S", false);
        FAIL() << "opened a broken workbook";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("broken.xls"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadText(path), "this is not a workbook at all, just some text");
}

TEST(SheetFileWorkbook, APathNamesItsOwnWorkbookOrIsRefused) {
    TempDir dir;
    // The workbooks that a path cut short at ';' or at a brace would name instead.
    Workbook other;
    other.sheets.push_back({"Other", {{"n"}, {"42"}}});
    std::vector<uint8_t> otherBytes;
    std::string error;
    ASSERT_TRUE(BuildWorkbookFile(other, &otherBytes, &error)) << error;
    testing::WriteBytes(dir / "report", otherBytes);
    testing::WriteBytes(dir / "a", otherBytes);
    for (const char* name : {"report;V=2.xls", "a}b;c}}{'d'.xls"}) {
        SheetFile sheet(dir / name, "CANFID", false);
        sheet.DeferWrites();
        ASSERT_TRUE(sheet.AddHeaderFields(kHeader, true));
        ASSERT_TRUE(sheet.PutRow(kBegin, 2, true));
        ASSERT_TRUE(sheet.WriteBack()) << sheet.errorText();
        EXPECT_EQ(testing::ReadWorkbookFile(dir / name).sheets.at(0).rows,
                  (std::vector<std::vector<std::string>>{kHeader, kBegin}));
    }
    EXPECT_EQ(testing::ReadBytes(dir / "report"), otherBytes);
    EXPECT_EQ(testing::ReadBytes(dir / "a"), otherBytes);

    // A quote would end the path early in the connection string, a zero byte in the system.
    for (const std::string& name : {std::string("say \"x\".xls"), std::string("zero\0.xls", 9)}) {
        try {
            SheetFile sheet(dir / name, "CANFID", false);
            ADD_FAILURE() << "opened " << name;
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot use the workbook path"), std::string::npos)
                << e.what();
        }
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 4u);
}

TEST(SheetFileWorkbook, AnIndependentReaderSeesTheExport) {
    if (!testing::PythonHas("xlrd")) GTEST_SKIP() << "python3-xlrd is not installed";
    TempDir dir;
    const std::string path = dir / "CANMID.xls";
    {
        SheetFile sheet(path, "CANMID", false);
        sheet.DeferWrites();
        ASSERT_TRUE(sheet.AddHeaderFields(kHeader, true));
        ASSERT_TRUE(sheet.PutRow({"0", "0x107", "0", "8", "0x00000000", "0x00000000"}, 2, true));
        ASSERT_TRUE(sheet.PutRow({"0", "0x115", "0", "8", "0x123", "9FFFFFFF"}, 3, true));
        ASSERT_TRUE(sheet.PutRow({"0", "0x108", "0", "8", "O'Brien", "Ünïcødé ✓"}, 4, true));
        ASSERT_TRUE(sheet.WriteBack()) << sheet.errorText();
    }
    Workbook expected;
    expected.sheets.push_back({"CANMID",
                               {kHeader,
                                {"0", "0x107", "0", "8", "0x00000000", "0x00000000"},
                                {"0", "0x115", "0", "8", "0x123", "9FFFFFFF"},
                                {"0", "0x108", "0", "8", "O'Brien", "Ünïcødé ✓"}}});
    EXPECT_EQ(testing::XlrdCompare(dir, path, expected), "OK\n");
}

}  // namespace
}  // namespace b6409
