#include "sheet/workbook_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "sheet/compound_file.h"
#include "tests/sheet/biff_stream.h"
#include "tests/sheet/sheet_test_support.h"

namespace b6409 {
namespace {

using testing::TempDir;

std::string ConnectString(const std::string& path, bool create = true, bool readOnly = false) {
    std::string text = std::string("DRIVER={") + kEmbeddedWorkbookDriverName +
                       "};DSN='';FIRSTROWHASNAMES=1;READONLY=" + (readOnly ? "TRUE" : "FALSE") +
                       ";";
    if (create) text += "CREATE_DB=\"" + path + "\";";
    return text + "DBQ=" + path;
}

std::unique_ptr<SpreadsheetConnection> Connect(const std::string& path, bool create = true,
                                               bool readOnly = false) {
    return DriverRegistry::Default().Connect(ConnectString(path, create, readOnly));
}

void Execute(SpreadsheetConnection& connection, const std::string& sql) {
    std::string error;
    ASSERT_TRUE(connection.Execute(sql, &error)) << sql << ": " << error;
}

std::string Refusal(SpreadsheetConnection& connection, const std::string& sql) {
    std::string error;
    EXPECT_FALSE(connection.Execute(sql, &error)) << sql;
    return error;
}

struct Rows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

Rows Select(SpreadsheetConnection& connection, const std::string& sheet) {
    std::string error;
    auto query = connection.OpenQuery("SELECT * FROM [" + sheet + "$A1:IV65536]", &error);
    Rows result;
    if (!query) {
        ADD_FAILURE() << error;
        return result;
    }
    for (int k = 0; k < query->ColumnCount(); ++k) result.columns.push_back(query->ColumnName(k));
    while (!query->AtEnd()) {
        std::vector<std::string> row(result.columns.size());
        for (int k = 0; k < query->ColumnCount(); ++k) EXPECT_TRUE(query->FieldValue(k, &row[k]));
        result.rows.push_back(row);
        EXPECT_TRUE(query->MoveNext());
    }
    EXPECT_FALSE(query->MoveNext());
    return result;
}

// ---- registry and connection strings ----

TEST(SheetDriverRegistry, ListsNamesLikeTheInstallerDoes) {
    DriverRegistry registry;
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(registry.InstalledDriverNames(buffer, sizeof buffer));
    EXPECT_EQ(buffer[0], '\0');

    registry.Install("One", std::make_unique<testing::RecordingDriver>());
    registry.Install("Two Excel", std::make_unique<testing::RecordingDriver>());
    ASSERT_TRUE(registry.InstalledDriverNames(buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer, 15), std::string("One\0Two Excel\0\0", 15));
    // Only whole names are given; the list still ends with the empty name.
    ASSERT_TRUE(registry.InstalledDriverNames(buffer, 6));
    EXPECT_EQ(std::string(buffer, 5), std::string("One\0\0", 5));
    EXPECT_FALSE(registry.InstalledDriverNames(buffer, 0));
    EXPECT_FALSE(registry.InstalledDriverNames(nullptr, 10));

    EXPECT_NE(registry.Find("Two Excel"), nullptr);
    EXPECT_EQ(registry.Find("two excel"), nullptr);
    EXPECT_THROW(registry.Install("", nullptr), std::invalid_argument);

    EXPECT_NE(DriverRegistry::Default().Find(kEmbeddedWorkbookDriverName), nullptr);
}

TEST(SheetDriverRegistry, ConnectFailsWithoutTheNamedDriver) {
    DriverRegistry registry;
    EXPECT_THROW(registry.Connect("DRIVER={};DBQ=/tmp/x.xls"), DatabaseError);
    EXPECT_THROW(registry.Connect("DBQ=/tmp/x.xls"), DatabaseError);
    EXPECT_THROW(registry.Connect("DRIVER={unclosed;DBQ=/tmp/x.xls"), DatabaseError);
}

TEST(SheetConnectString, SplitsKeysAndUnquotesValues) {
    std::vector<ConnectionKey> keys;
    std::string error;
    ASSERT_TRUE(ParseConnectString(
        "DRIVER={A;B Driver};DSN='';FIRSTROWHASNAMES=1;CREATE_DB=\"/t/a;b.xls\";dbq=/t/x.xls;",
        &keys, &error))
        << error;
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[0].value, "A;B Driver");
    EXPECT_EQ(keys[1].key, "DSN");
    EXPECT_EQ(keys[1].value, "");
    EXPECT_EQ(keys[3].value, "/t/a;b.xls");
    EXPECT_EQ(keys[4].key, "DBQ");
    EXPECT_EQ(keys[4].value, "/t/x.xls");

    // In braces a doubled brace is one brace of the value, which may then hold anything.
    ASSERT_TRUE(ParseConnectString("DBQ={/t/a}}b;c='d\"}}};X=1", &keys, &error)) << error;
    EXPECT_EQ(keys.at(0).value, "/t/a}b;c='d\"}");

    for (const char* bad :
         {"DBQ", "DBQ=a;DBQ=b", "=x", "CREATE_DB=\"a\"b;DBQ=a", "DSN='x", "DBQ={a}}", "DBQ={a}b}"})
        EXPECT_FALSE(ParseConnectString(bad, &keys, &error)) << bad;
}

// ---- the embedded driver ----

TEST(SheetWorkbookDriver, CreatesFillsReadsAndEmptiesASheet) {
    TempDir dir;
    const std::string path = dir / "book.xls";
    auto connection = Connect(path);
    Execute(*connection,
            "CREATE TABLE [CANFID] ([Mode] char(255), [ID] char(255), [Note] char(255))");
    Execute(*connection, "INSERT INTO [CANFID$A1:IV1] ([Mode], [ID]) VALUES ('0', '0x101')");
    Execute(*connection, "INSERT INTO [CANFID$A1:IV1] ([Note], [Mode]) VALUES ('it''s', '1')");
    Execute(*connection, "INSERT INTO [canfid] VALUES ('2')");
    const Rows rows = Select(*connection, "CANFID");
    EXPECT_EQ(rows.columns, (std::vector<std::string>{"Mode", "ID", "Note"}));
    EXPECT_EQ(rows.rows, (std::vector<std::vector<std::string>>{
                             {"0", "0x101", ""}, {"1", "", "it's"}, {"2", "", ""}}));
    EXPECT_FALSE(std::filesystem::exists(path)) << "written when the connection closes";
    std::string error;
    ASSERT_TRUE(connection->Close(&error)) << error;
    ASSERT_TRUE(std::filesystem::exists(path));

    auto again = Connect(path);
    EXPECT_EQ(Select(*again, "CANFID").rows.size(), 3u);
    EXPECT_EQ(Refusal(*again, "CREATE TABLE [CANFID] ([A] char(255))"),
              "Table 'CANFID' already exists.");
    Execute(*again, "DROP TABLE [CANFID$A1:IV65536]");
    const Rows dropped = Select(*again, "CANFID");
    EXPECT_TRUE(dropped.columns.empty());
    EXPECT_TRUE(dropped.rows.empty());
    Execute(*again, "CREATE TABLE [CANFID$A1:IV65536] ([A] char(255))");
    Execute(*again, "INSERT INTO [CANFID$A1:IV1] ([A]) VALUES ('new')");
    ASSERT_TRUE(again->Close(&error)) << error;

    const Workbook book = testing::ReadWorkbookFile(path);
    ASSERT_EQ(book.sheets.size(), 1u);
    EXPECT_EQ(book.sheets[0].rows, (std::vector<std::vector<std::string>>{{"A"}, {"new"}}));
}

TEST(SheetWorkbookDriver, RefusesStatementsItCannotCarryOut) {
    TempDir dir;
    auto connection = Connect(dir / "r.xls");
    Execute(*connection, "CREATE TABLE [S] ([A] char(255), [B] char(255))");
    EXPECT_EQ(Refusal(*connection, "INSERT INTO [S] ([C]) VALUES ('1')"),
              "Unknown column 'C' in table 'S'.");
    EXPECT_EQ(Refusal(*connection, "INSERT INTO [S] ([A], [A]) VALUES ('1', '2')"),
              "Column 'A' is named twice.");
    EXPECT_EQ(Refusal(*connection, "INSERT INTO [T] ([A]) VALUES ('1')"),
              "Table 'T' does not exist.");
    EXPECT_EQ(Refusal(*connection, "DROP TABLE [T$A1:IV65536]"), "Table 'T' does not exist.");
    EXPECT_EQ(Refusal(*connection, "INSERT INTO [S] VALUES ('1', '2', '3')"),
              "Table 'S' has fewer columns than values given.");
    EXPECT_EQ(
        Refusal(*connection, "INSERT INTO [S] ([A]) VALUES ('" + std::string(256, 'x') + "')"),
        "The value for column 'A' is longer than 255 characters.");
    Execute(*connection, "INSERT INTO [S] ([A]) VALUES ('" + std::string(255, 'x') + "')");
    // 255 characters, not bytes: each of these takes two bytes of UTF-8.
    std::string wide;
    for (int i = 0; i < 255; ++i) wide += "é";
    Execute(*connection, "INSERT INTO [S] ([B]) VALUES ('" + wide + "')");
    EXPECT_EQ(Refusal(*connection, "INSERT INTO [S] ([A]) VALUES ('\xff')"),
              "The value for column 'A' is not valid UTF-8 text.");
    EXPECT_EQ(Refusal(*connection, "CREATE TABLE [T] ([A] char(255), [A] char(255))"),
              "Field 'A' is defined more than once.");
    EXPECT_NE(Refusal(*connection, "CREATE TABLE [bad/name] ([A] char(255))").find("bad/name"),
              std::string::npos);
    EXPECT_NE(Refusal(*connection, "CREATE TABLE [" + std::string(32, 'n') + "] ([A] char(255))"),
              "");
    EXPECT_EQ(Refusal(*connection, "SELECT * FROM [S$A1:IV65536]"),
              "A SELECT statement returns rows; open it as a query.");
    EXPECT_EQ(Refusal(*connection, "UPDATE [S] SET A='1'").rfind("Invalid SQL statement", 0), 0u);
    std::string error;
    EXPECT_EQ(connection->OpenQuery("SELECT * FROM [Missing$A1:IV65536]", &error), nullptr);
    EXPECT_EQ(error, "Table 'Missing' does not exist.");
    EXPECT_EQ(connection->OpenQuery("DROP TABLE [S]", &error), nullptr);

    ASSERT_TRUE(connection->Close(&error));
    EXPECT_EQ(Refusal(*connection, "DROP TABLE [S]"), "The connection is closed.");
}

TEST(SheetWorkbookDriver, ASheetHoldsAtMost65536Rows) {
    TempDir dir;
    auto connection = Connect(dir / "full.xls");
    Execute(*connection, "CREATE TABLE [S] ([A] char(255))");
    std::string error;
    for (int i = 1; i < 65536; ++i)
        ASSERT_TRUE(connection->Execute("INSERT INTO [S] VALUES ('" + std::to_string(i % 10) + "')",
                                        &error))
            << i << error;
    EXPECT_EQ(Refusal(*connection, "INSERT INTO [S] VALUES ('x')"),
              "Table 'S' is full: a sheet holds 65536 rows.");
    ASSERT_TRUE(connection->Close(&error)) << error;
    const Workbook book = testing::ReadWorkbookFile(dir / "full.xls");
    EXPECT_EQ(book.sheets.at(0).rows.size(), 65536u);
    EXPECT_EQ(book.sheets[0].rows.back(), (std::vector<std::string>{"5"}));
}

TEST(SheetWorkbookDriver, OpeningChecksTheFile) {
    TempDir dir;
    const std::string path = dir / "missing.xls";
    EXPECT_THROW(Connect(path, false), DatabaseError);
    EXPECT_THROW(DriverRegistry::Default().Connect(std::string("DRIVER={") +
                                                   kEmbeddedWorkbookDriverName + "};DSN=''"),
                 DatabaseError);
    // A workbook made and left untouched is not written.
    {
        auto connection = Connect(path);
        std::string error;
        EXPECT_TRUE(connection->Close(&error));
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    testing::WriteText(dir / "empty.xls", "");
    EXPECT_THROW(Connect(dir / "empty.xls"), DatabaseError);
    std::filesystem::create_directory(dir / "folder.xls");
    EXPECT_THROW(Connect(dir / "folder.xls"), DatabaseError);
    // An older workbook format is named as such.
    try {
        testing::WriteBytes(dir / "old.xls", BuildCompoundFile("Book", std::vector<uint8_t>(100)));
        Connect(dir / "old.xls");
        ADD_FAILURE() << "opened a BIFF5 workbook";
    } catch (const DatabaseError& e) {
        EXPECT_NE(std::string(e.what()).find("older"), std::string::npos) << e.what();
    }
}

TEST(SheetWorkbookDriver, RefusesWorkbooksThatWouldFillTheMemory) {
    TempDir dir;
    for (const auto& [name, stream] : testing::OversizedWorkbookStreams()) {
        const std::string path = dir / (name + ".xls");
        testing::WriteBytes(path, BuildCompoundFile("Workbook", stream));
        try {
            Connect(path, false);
            ADD_FAILURE() << name << " opened";
        } catch (const DatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("larger than this utility reads"),
                      std::string::npos)
                << name << ": " << e.what();
        }
    }
}

TEST(SheetWorkbookDriver, ReadOnlyConnectionsChangeNothing) {
    TempDir dir;
    const std::string path = dir / "ro.xls";
    {
        auto connection = Connect(path);
        Execute(*connection, "CREATE TABLE [S] ([A] char(255))");
        std::string error;
        ASSERT_TRUE(connection->Close(&error));
    }
    const auto before = testing::ReadBytes(path);
    auto connection = Connect(path, false, true);
    EXPECT_EQ(Refusal(*connection, "DROP TABLE [S]"), "The workbook is opened read-only.");
    EXPECT_EQ(Select(*connection, "S").columns, (std::vector<std::string>{"A"}));
    std::string error;
    EXPECT_TRUE(connection->Close(&error));
    EXPECT_EQ(testing::ReadBytes(path), before);
}

TEST(SheetWorkbookDriver, AFailedWriteIsReportedByClose) {
    TempDir dir;
    std::filesystem::create_directory(dir / "gone");
    const std::string path = dir / "gone/book.xls";
    auto connection = Connect(path);
    Execute(*connection, "CREATE TABLE [S] ([A] char(255))");
    std::filesystem::remove(dir / "gone");
    std::string error;
    EXPECT_FALSE(connection->Close(&error));
    EXPECT_NE(error.find("Cannot write workbook"), std::string::npos) << error;
}

TEST(SheetWorkbookDriver, ReplacingKeepsTheFileModeAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir / "mode.xls";
    {
        auto connection = Connect(path);
        Execute(*connection, "CREATE TABLE [S] ([A] char(255))");
        std::string error;
        ASSERT_TRUE(connection->Close(&error));
    }
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    {
        auto connection = Connect(path);
        Execute(*connection, "INSERT INTO [S] VALUES ('1')");
        std::string error;
        ASSERT_TRUE(connection->Close(&error));
    }
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

// Workbooks written by another program: python3-xlwt.
class SheetWorkbookFromXlwt : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing::PythonHas("xlwt")) GTEST_SKIP() << "python3-xlwt is not installed";
    }
    void Write(const std::string& body) {
        const std::string script = "import sys, xlwt\nbook = xlwt.Workbook(encoding='utf-8')\n" +
                                   body + "\nbook.save(sys.argv[1])\n";
        const auto output = testing::RunPython(dir, script, {path});
        ASSERT_TRUE(output.has_value());
        ASSERT_EQ(*output, "");
    }
    TempDir dir;
    std::string path = dir / "other.xls";
};

TEST_F(SheetWorkbookFromXlwt, TextAndNumbersReadAsAUserSeesThem) {
    Write(R"(
s = book.add_sheet('Data')
for c, name in enumerate(['Name', 'Value', 'Note']): s.write(0, c, name)
rows = [('one', 1, "it's"), ('pi', 3.14159, None), ('neg', -42.5, 'Ω'),
        ('big', 1234567890123, None), ('tenth', 0.1, None), ('tiny', 1e-7, None),
        ('hundreds', 12.34, None), ('flag', True, None)]
for r, row in enumerate(rows, 1):
    for c, v in enumerate(row):
        if v is not None: s.write(r, c, v)
book.add_sheet('Second').write(2, 1, 'far')
)");
    auto connection = Connect(path);
    const Rows rows = Select(*connection, "Data");
    EXPECT_EQ(rows.columns, (std::vector<std::string>{"Name", "Value", "Note"}));
    EXPECT_EQ(rows.rows, (std::vector<std::vector<std::string>>{{"one", "1", "it's"},
                                                                {"pi", "3.14159", ""},
                                                                {"neg", "-42.5", "Ω"},
                                                                {"big", "1234567890123", ""},
                                                                {"tenth", "0.1", ""},
                                                                {"tiny", "1e-07", ""},
                                                                {"hundreds", "12.34", ""},
                                                                {"flag", "TRUE", ""}}));
    // An empty header cell gets a made-up name; the rows start under the first row.
    const Rows second = Select(*connection, "second");
    EXPECT_EQ(second.columns, (std::vector<std::string>{"F1", "F2"}));
    EXPECT_EQ(second.rows, (std::vector<std::vector<std::string>>{{"", ""}, {"", "far"}}));
    // A plain workbook of another writer can be changed.
    Execute(*connection, "INSERT INTO [Data$A1:IV1] ([Name]) VALUES ('added')");
    std::string error;
    ASSERT_TRUE(connection->Close(&error)) << error;
    const Workbook book = testing::ReadWorkbookFile(path);
    EXPECT_EQ(book.sheets.at(0).rows.back().at(0), "added");
}

TEST_F(SheetWorkbookFromXlwt, AWorkbookWithFormulasIsOnlyRead) {
    Write(R"(
s = book.add_sheet('Calc')
s.write(0, 0, 'A'); s.write(1, 0, 2); s.write(2, 0, xlwt.Formula('A2*3'))
)");
    const auto before = testing::ReadBytes(path);
    auto connection = Connect(path);
    EXPECT_EQ(Select(*connection, "Calc").rows.size(), 2u);
    const std::string refusal = Refusal(*connection, "DROP TABLE [Calc$A1:IV65536]");
    EXPECT_NE(refusal.find("formulas"), std::string::npos) << refusal;
    std::string error;
    EXPECT_TRUE(connection->Close(&error));
    EXPECT_EQ(testing::ReadBytes(path), before);
}

}  // namespace
}  // namespace b6409
