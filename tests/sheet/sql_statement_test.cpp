#include "sheet/sql_statement.h"

#include <gtest/gtest.h>

namespace b6409 {
namespace {

Statement Parse(const std::string& sql) {
    Statement statement;
    std::string error;
    EXPECT_TRUE(ParseStatement(sql, &statement, &error)) << sql << ": " << error;
    return statement;
}

TEST(SqlStatement, ReadsTheStatementsSheetFileSends) {
    Statement s = Parse("SELECT * FROM [CANFID$A1:IV65536]");
    EXPECT_EQ(s.kind, StatementKind::Select);
    EXPECT_EQ(s.table.sheet, "CANFID");
    EXPECT_TRUE(s.table.hasRange);
    EXPECT_EQ(s.table.lastColumn, 256);
    EXPECT_EQ(s.table.lastRow, 65536);

    s = Parse("DROP TABLE [CANFID$A1:IV65536]");
    EXPECT_EQ(s.kind, StatementKind::DropTable);

    s = Parse("CREATE TABLE [CANFID] ([Mode] char(255), [ID] char(255))");
    EXPECT_EQ(s.kind, StatementKind::CreateTable);
    EXPECT_FALSE(s.table.hasRange);
    EXPECT_EQ(s.columns, (std::vector<std::string>{"Mode", "ID"}));

    s = Parse("INSERT INTO [CANFID$A1:IV2] ([Mode], [ID]) VALUES ('0', 'it''s')");
    EXPECT_EQ(s.kind, StatementKind::Insert);
    EXPECT_EQ(s.table.lastRow, 2);
    EXPECT_EQ(s.columns, (std::vector<std::string>{"Mode", "ID"}));
    EXPECT_EQ(s.values, (std::vector<std::string>{"0", "it's"}));
}

TEST(SqlStatement, AcceptsTheLooserSpellingsOfTheSameForms) {
    Statement s = Parse("  create   table Sheet_1 ( [a b] VarChar ( 10 ) , c CHAR(1) ) ; ");
    EXPECT_EQ(s.table.sheet, "Sheet_1");
    EXPECT_EQ(s.columns, (std::vector<std::string>{"a b", "c"}));
    s = Parse("insert into [x$] values ('', '''', 'a,b)', '[y]')");
    EXPECT_TRUE(s.columns.empty());
    EXPECT_EQ(s.values, (std::vector<std::string>{"", "'", "a,b)", "[y]"}));
    EXPECT_EQ(Parse("select * from [Data$a1:b7]").table.lastColumn, 2);
    EXPECT_EQ(Parse("SELECT * FROM [My Sheet$A1:AA1]").table.sheet, "My Sheet");
    EXPECT_EQ(Parse("SELECT * FROM [a$b$A1:IV5]").table.sheet, "a$b");
    EXPECT_EQ(Parse("INSERT INTO [x] VALUES ('line\nbreak')").values[0], "line\nbreak");
}

TEST(SqlStatement, RefusesEverythingElseWithAReason) {
    const char* refused[] = {
        "",
        "UPDATE [x] SET a = '1'",
        "DELETE FROM [x]",
        "SELECT a FROM [x]",
        "SELECT * FROM [x] WHERE a = '1'",
        "SELECT * FROM [x$B2:IV65536]",
        "SELECT * FROM [x$A1:IW1]",
        "SELECT * FROM [x$A1:IV65537]",
        "SELECT * FROM [x$A1:IV0]",
        "SELECT * FROM [x$A1]",
        "SELECT * FROM [$A1:IV1]",
        "SELECT * FROM [x",
        "DROP TABLE",
        "DROP [x]",
        "CREATE TABLE [x] ()",
        "CREATE TABLE [x] ([a])",
        "CREATE TABLE [x] ([a] char(256))",
        "CREATE TABLE [x] ([a] char(0))",
        "CREATE TABLE [x] ([a] int)",
        "CREATE TABLE [x] ([] char(5))",
        "CREATE TABLE [x] ([a] char(5)",
        "CREATE TABLE [x]) ",
        "INSERT INTO [x] ([a], [b]) VALUES ('1')",
        "INSERT INTO [x] ([a]) VALUES (1)",
        "INSERT INTO [x] ([a]) VALUES ('unclosed)",
        "INSERT INTO [x] VALUES ('a') extra",
        "INSERT INTO [x] VALUES ('a'); DROP TABLE [x]",
        "SELECT * FROM [x] -- comment",
    };
    for (const char* sql : refused) {
        Statement s;
        std::string error;
        EXPECT_FALSE(ParseStatement(sql, &s, &error)) << sql;
        EXPECT_FALSE(error.empty()) << sql;
    }
}

TEST(SqlStatement, EscapedTextsReadBackAsThemselves) {
    for (const std::string text : {"", "'", "''", "a'b", "'start", "end'", "no quotes"}) {
        const Statement s = Parse("INSERT INTO [t] VALUES ('" + EscapeSqlText(text) + "')");
        EXPECT_EQ(s.values.at(0), text);
    }
}

}  // namespace
}  // namespace b6409
