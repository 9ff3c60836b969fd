#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace b6409 {

// The statements the embedded workbook driver carries out.
enum class StatementKind { DropTable, CreateTable, Insert, Select };

// A bracketed table name: "[sheet]", "[sheet$]" or "[sheet$A1:IV65536]". The range always
// starts at A1; its far corner is kept but every statement works on the whole sheet.
struct TableName {
    std::string sheet;
    bool hasRange = false;
    int lastColumn = 256;  // 1-based, IV = 256
    int32_t lastRow = 65536;
};

struct Statement {
    StatementKind kind = StatementKind::Select;
    TableName table;
    // CREATE TABLE: the new columns. INSERT: the named columns, empty when the statement
    // names none (the values then fill the columns in order).
    std::vector<std::string> columns;
    std::vector<std::string> values;  // INSERT, with '' turned back into '
};

// Understands, with keywords in any letter case and an optional closing ';':
//   DROP TABLE t
//   CREATE TABLE t ([c1] char(n), ...)            n from 1 to 255; varchar(n) as well
//   INSERT INTO t [([c1], ...)] VALUES ('v1', ...)
//   SELECT * FROM t
// Names are bracketed ([any text without ']']) or plain words; values are single-quoted with
// '' standing for one quote. Anything else is refused with a reason in errorText.
bool ParseStatement(std::string_view sql, Statement* out, std::string* errorText);

// A text as it goes between single quotes: every ' doubled.
std::string EscapeSqlText(std::string_view text);
// The same, appended to a statement being written.
void AppendSqlText(std::string& out, std::string_view text);

}  // namespace b6409
