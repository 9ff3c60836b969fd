// The embedded workbook driver's SQL fed arbitrary text, one statement per line. Each line is
// parsed, checked to parse again to the same statement once written out plainly, and carried
// out on an in-memory workbook (a new workbook whose file does not exist yet, so nothing is
// read from disk). When the statements changed the workbook, it is written to a scratch file,
// opened again, and every sheet they touched must read back as it was before the write.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/spreadsheet_driver.h"
#include "sheet/sql_statement.h"
#include "sheet/workbook_driver.h"

namespace {

using namespace b6409;

constexpr size_t kMaxStatements = 32;

void Require(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "workbook SQL invariant broken: %s\n", what.c_str());
    std::abort();
}

std::string ColumnLetters(int column) {
    if (column <= 26) return std::string(1, static_cast<char>('A' + column - 1));
    return {static_cast<char>('A' + (column - 1) / 26 - 1),
            static_cast<char>('A' + (column - 1) % 26)};
}

// Written with the sheet always followed by '$', so a '$' inside the sheet name stays part of it.
std::string TableText(const TableName& table) {
    std::string range;
    if (table.hasRange)
        range = "A1:" + ColumnLetters(table.lastColumn) + std::to_string(table.lastRow);
    return "[" + table.sheet + "$" + range + "]";
}

std::string Join(const std::vector<std::string>& items, const char* before, const char* after) {
    std::string out;
    for (const std::string& item : items)
        out += std::string(out.empty() ? "" : ", ") + before + item + after;
    return out;
}

std::string StatementText(const Statement& statement) {
    switch (statement.kind) {
        case StatementKind::DropTable:
            return "DROP TABLE " + TableText(statement.table);
        case StatementKind::CreateTable:
            return "CREATE TABLE " + TableText(statement.table) + " (" +
                   Join(statement.columns, "[", "] char(255)") + ")";
        case StatementKind::Insert: {
            std::vector<std::string> values;
            for (const std::string& value : statement.values)
                values.push_back("'" + EscapeSqlText(value) + "'");
            std::string text = "INSERT INTO " + TableText(statement.table);
            if (!statement.columns.empty()) text += " (" + Join(statement.columns, "[", "]") + ")";
            return text + " VALUES (" + Join(values, "", "") + ")";
        }
        case StatementKind::Select:
            return "SELECT * FROM " + TableText(statement.table);
    }
    return {};
}

bool SameStatement(const Statement& a, const Statement& b) {
    return a.kind == b.kind && a.table.sheet == b.table.sheet &&
           a.table.hasRange == b.table.hasRange && a.table.lastColumn == b.table.lastColumn &&
           a.table.lastRow == b.table.lastRow && a.columns == b.columns && a.values == b.values;
}

void CheckParsed(const Statement& statement) {
    Require(!statement.table.sheet.empty(), "a statement names an empty table");
    Require(statement.table.lastColumn >= 1 && statement.table.lastColumn <= 256 &&
                statement.table.lastRow >= 1 && statement.table.lastRow <= 65536,
            "a range beyond A1:IV65536");
    if (statement.kind == StatementKind::CreateTable) Require(!statement.columns.empty(), "CREATE");
    if (statement.kind == StatementKind::Insert)
        Require(statement.columns.empty() || statement.columns.size() == statement.values.size(),
                "INSERT names other columns than it gives values");
    for (const std::string& column : statement.columns)
        Require(!column.empty(), "an empty column name");
    const std::string text = StatementText(statement);
    Statement again;
    std::string error;
    Require(ParseStatement(text, &again, &error), "a written-out statement is refused: " + text);
    Require(SameStatement(statement, again), "a written-out statement reads otherwise: " + text);
}

// What SELECT * shows of a sheet: the column names, then every row's values.
using SheetView = std::vector<std::vector<std::string>>;

bool ViewOf(SpreadsheetConnection& connection, const std::string& sheet, SheetView* view) {
    std::string error;
    const auto query = connection.OpenQuery("SELECT * FROM [" + sheet + "$]", &error);
    if (!query) return false;
    view->clear();
    std::vector<std::string> names;
    for (int c = 0; c < query->ColumnCount(); ++c) names.push_back(query->ColumnName(c));
    view->push_back(std::move(names));
    while (!query->AtEnd()) {
        std::vector<std::string> row;
        for (int c = 0; c < query->ColumnCount(); ++c) {
            std::string value;
            Require(query->FieldValue(c, &value), "a column of the row has no value");
            row.push_back(std::move(value));
        }
        std::string ignored;
        Require(!query->FieldValue(query->ColumnCount(), &ignored), "a column past the last");
        view->push_back(std::move(row));
        Require(query->MoveNext(), "a query cannot move on");
    }
    return true;
}

std::string ScratchFolder() {
    static const std::string folder = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) base = tmp;
        std::string pattern = base + "/b6409-fuzz-sql-XXXXXX";
        Require(mkdtemp(pattern.data()) != nullptr, "no scratch folder for the workbook");
        return pattern;
    }();
    return folder;
}

void RemoveScratchFolder() {
    rmdir(ScratchFolder().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ScratchFolder();
    std::atexit(RemoveScratchFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The connection string parser sees the same text.
    std::vector<ConnectionKey> keys;
    std::string keysError;
    ParseConnectString(input, &keys, &keysError);

    // A new workbook: CREATE_DB names the same path and no file is there yet.
    const std::string path = ScratchFolder() + "/workbook.xls";
    unlink(path.c_str());
    WorkbookDriver driver;
    auto connection = driver.Connect("DBQ=" + path + ";CREATE_DB=" + path);

    std::vector<std::string> touched;
    bool changed = false;
    size_t at = 0;
    for (size_t n = 0; n < kMaxStatements && at <= input.size(); ++n) {
        const size_t end = std::min(input.find('\n', at), input.size());
        const std::string sql(input.substr(at, end - at));
        at = end + 1;

        Statement statement;
        std::string error;
        const bool parsed = ParseStatement(sql, &statement, &error);
        if (parsed) {
            CheckParsed(statement);
        } else {
            Require(!error.empty(), "a refused statement gave no reason");
        }

        error.clear();
        const bool executed = connection->Execute(sql, &error);
        Require(executed || !error.empty(), "a refused statement gave the driver no reason");
        Require(!executed || (parsed && statement.kind != StatementKind::Select),
                "the driver carried out what the parser refused");
        if (executed) {
            changed = true;
            touched.push_back(statement.table.sheet);
        }
        if (connection->OpenQuery(sql, &error)) {
            Require(parsed && statement.kind == StatementKind::Select,
                    "a query opened for what is no SELECT");
            SheetView view;
            Require(ViewOf(*connection, statement.table.sheet, &view), "a sheet went away");
        }
    }
    if (!changed) return 0;

    // Written and read back, every touched sheet shows the same.
    std::vector<SheetView> before(touched.size());
    std::vector<bool> exists(touched.size());
    for (size_t i = 0; i < touched.size(); ++i)
        exists[i] = ViewOf(*connection, touched[i], &before[i]);
    std::string error;
    Require(connection->Close(&error), "a changed workbook could not be written: " + error);
    connection.reset();
    auto reopened = driver.Connect("DBQ=" + path);
    for (size_t i = 0; i < touched.size(); ++i) {
        SheetView after;
        Require(ViewOf(*reopened, touched[i], &after) == exists[i], "a sheet came or went");
        Require(after == before[i], "sheet '" + touched[i] + "' reads back otherwise");
    }
    reopened.reset();
    unlink(path.c_str());
    return 0;
}
