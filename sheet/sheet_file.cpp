#include "sheet/sheet_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <new>
#include <string_view>

#include "sheet/sql_statement.h"
#include "sheet/xls_workbook.h"

namespace b6409 {
namespace {

constexpr char kWorkbookSeparator[] = ",;.?";
constexpr char kBackupSheet[] = "CSpreadSheetBackup";
constexpr char kSheetRange[] = "$A1:IV65536";
constexpr size_t kDriverListSize = 2000;

constexpr char kDuplicateHeader[] = "Duplicate header row field:";
constexpr char kFewerHeaderColumns[] =
    "Number of columns in new header row cannot be less than the number of columns in previous "
    "header row";
constexpr char kNoHeaderRow[] = "No header row. Add header row first\n";
constexpr char kTooManyColumns[] =
    "Number of columns to be added cannot be greater than the number of fields\n";
constexpr char kHeaderProblem[] = "Problems with adding headers\n";
constexpr char kRowBeyondEnd[] =
    "Desired row is greater than total number of rows in spreadsheet\n";
constexpr char kReadingRow[] = "Error reading row\n";
constexpr char kOpeningFile[] = "Error in opening file\n";
constexpr char kWritingFile[] = "Error writing file\n";
// Refusals of our own, where the row forms above would otherwise lose or corrupt data.
constexpr char kInvalidRowNumber[] = "Invalid row number\n";
constexpr char kTooManyFields[] = "Too many fields in row\n";
constexpr char kRowBeyondSheet[] = "Row number is beyond the last row a sheet can hold\n";
constexpr char kFieldNotHeld[] = "Field cannot be held unchanged:";
constexpr char kBracketInHeader[] = "Header row field cannot contain ']':";
constexpr char kLoadIncomplete[] =
    "Sheet was not read completely; writing it back would lose rows\n";
// Short enough to need no memory of its own.
constexpr char kOutOfMemory[] = "Out of memory\n";

// Calls field(piece) for every piece of the text between the delimiters, the first of which is
// at `at`; with trimQuotes, the first piece loses its first character and the last its last one
// (the row's outer quotes).
template <typename Field>
void ForEachPiece(std::string_view text, std::string_view delimiter, size_t at, bool trimQuotes,
                  Field field) {
    for (size_t from = 0;; at = text.find(delimiter, from)) {
        const bool last = at == std::string_view::npos;
        std::string_view piece = text.substr(from, last ? std::string_view::npos : at - from);
        if (trimQuotes && from == 0 && !piece.empty()) piece.remove_prefix(1);
        if (trimQuotes && last && !piece.empty()) piece.remove_suffix(1);
        field(piece);
        if (last) return;
        from = at + delimiter.size();
    }
}

// Whether the field holds a quote or the (non-empty) separator, in one pass over it.
bool HoldsQuoteOrSeparator(std::string_view field, std::string_view separator) {
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '"') return true;
        if (field[i] == separator[0] && field.substr(i).starts_with(separator)) return true;
    }
    return false;
}

// The fields of a row text, one call each, as SplitRowText splits them; views of the text, so
// the rows of a whole sheet are checked and written without copying every field.
template <typename Field>
void ForEachRowField(std::string_view text, const std::string& separator, Field field) {
    const std::string quoted = "\"" + separator + "\"";
    if (const size_t at = text.find(quoted); at != std::string_view::npos)
        return ForEachPiece(text, quoted, at, true, field);
    // An empty separator is contained everywhere; it cannot split anything.
    if (const size_t at = text.find(separator); !separator.empty() && at != std::string_view::npos)
        return ForEachPiece(text, separator, at, false, field);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    field(text);
}

// Memory running out is a failed call like any other, not an exception that ends the program.
bool OutOfMemory(std::string& errorText) {
    errorText = kOutOfMemory;
    return false;
}

bool EndsWithXls(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".xls";
}

}  // namespace

std::optional<std::string> WorkbookPathRefusal(const std::string& path) {
    // The path goes into the connection string twice: in double quotes after CREATE_DB, where a
    // quote would end it early, and in braces after DBQ, which carry anything else. A zero byte
    // would end the path the system sees early, naming another file.
    const char* reason = path.find('\0') != std::string::npos ? "it holds a zero byte"
                         : path.find('"') != std::string::npos
                             ? "a workbook path cannot hold a double quote (\")"
                             : nullptr;
    if (!reason) return std::nullopt;
    return "Cannot use the workbook path '" + std::string(path.c_str()) + "': " + reason + ".";
}

std::vector<std::string> SplitRowText(const std::string& text, const std::string& separator) {
    std::vector<std::string> fields;
    ForEachRowField(text, separator, [&](std::string_view field) { fields.emplace_back(field); });
    return fields;
}

SheetFile::SheetFile(const std::string& path, const std::string& sheetOrSeparator, bool keepBackup,
                     DriverRegistry& registry) try
    : keepBackup_(keepBackup), workbookMode_(EndsWithXls(path)), registry_(registry) {
    if (workbookMode_) {
        sheetName_ = sheetOrSeparator;
        separator_ = kWorkbookSeparator;
    } else {
        separator_ = sheetOrSeparator;
    }
    filePath_ = path;
    if (workbookMode_) {
        if (const auto refusal = WorkbookPathRefusal(filePath_)) throw DatabaseError(*refusal);
        database_ = std::make_unique<Database>(registry_);
        FindSpreadsheetDriver();
        connectString_ = "DRIVER={" + driverName_ +
                         "};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;CREATE_DB=\"" + filePath_ +
                         "\";DBQ=" + BracedConnectValue(filePath_);
        if (LoadSheet() && keepBackup_ && sheetExists_) {
            const std::string remembered = sheetName_;
            sheetName_ = kBackupSheet;
            sheetExists_ = false;
            if (!WriteBack()) keepBackup_ = false;
            sheetExists_ = true;
            sheetName_ = remembered;
            currentRow_ = 1;
        }
    } else if (LoadSheet() && keepBackup_ && sheetExists_) {
        const std::string remembered = filePath_;
        filePath_ = remembered + ".bak";
        if (!WriteBack()) keepBackup_ = false;
        filePath_ = remembered;
    }
} catch (const std::bad_alloc&) {
    throw DatabaseError(kOutOfMemory);
}

SheetFile::~SheetFile() {
    query_.reset();
    // Anything still open here was left by an exception; its changes are not kept.
    database_.reset();
}

void SheetFile::DeferWrites() {
    writesDeferred_ = true;
}

void SheetFile::FindSpreadsheetDriver() {
    char names[kDriverListSize] = {};
    if (!registry_.InstalledDriverNames(names, sizeof names)) {
        driverName_.clear();
        return;
    }
    const char* at = names;
    const char* const end = names + sizeof names;
    while (at < end) {
        const size_t length = std::find(at, end, '\0') - at;
        if (length == 0 || at + length == end) break;  // the closing empty name, or no end at all
        const std::string name(at, length);
        if (name.find("Excel") != std::string::npos) {
            driverName_ = name;
            return;
        }
        at += length + 1;
    }
}

bool SheetFile::LoadSheet() {
    return workbookMode_ ? LoadWorkbookSheet() : LoadTextFile();
}

bool SheetFile::LoadWorkbookSheet() {
    database_->Open(connectString_);
    statementText_ = std::string("SELECT * FROM [") + sheetName_ + kSheetRange + "]";
    std::string driverText;
    query_ = database_->OpenQuery(statementText_, &driverText);
    if (!query_) {
        database_->Close(&driverText);
        return false;
    }
    const int columns = query_->ColumnCount();
    auto readFailure = [&] {
        errorText_ = kReadingRow;
        loadIncomplete_ = true;
        query_.reset();
        database_->Close(&driverText);
        return false;
    };
    if (columns > std::numeric_limits<int16_t>::max()) return readFailure();
    totalColumns_ = static_cast<int16_t>(std::max(columns, 0));
    if (totalColumns_ != 0) {
        rowTexts_.clear();
        sheetExists_ = true;
        for (int k = 0; k < totalColumns_; ++k) headerFields_.push_back(query_->ColumnName(k));
        if (!MakeRowText(headerFields_)) return readFailure();
        rowTexts_.push_back(rowScratch_);
        totalRows_ += 1;
        while (!query_->AtEnd()) {
            rowFields_.assign(totalColumns_, std::string());
            for (int k = 0; k < totalColumns_; ++k)
                if (!query_->FieldValue(k, &rowFields_[k])) return readFailure();
            if (!MakeRowText(rowFields_)) return readFailure();
            rowTexts_.push_back(rowScratch_);
            totalRows_ += 1;
            if (!query_->MoveNext()) return readFailure();
        }
    }
    query_.reset();
    database_->Close(&driverText);
    currentRow_ = 1;
    return true;
}

bool SheetFile::LoadTextFile() {
    std::FILE* file = std::fopen(filePath_.c_str(), "rb");
    if (!file) {
        errorText_ = kOpeningFile;
        // A file that exists but cannot be read must not be overwritten by a later write-back.
        loadIncomplete_ = errno != ENOENT;
        return false;
    }
    std::string content;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        errorText_ = kOpeningFile;
        loadIncomplete_ = true;
        return false;
    }
    rowTexts_.clear();
    size_t from = 0;
    while (from < content.size()) {
        size_t end = content.find('\n', from);
        const size_t next = end == std::string::npos ? content.size() : end + 1;
        if (end == std::string::npos) end = content.size();
        if (end > from && content[end - 1] == '\r') --end;
        rowTexts_.push_back(content.substr(from, end - from));
        from = next;
    }
    if (rowTexts_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        rowTexts_.clear();
        errorText_ = kOpeningFile;
        loadIncomplete_ = true;
        return false;
    }
    FetchRow(headerFields_, 1);
    totalRows_ = static_cast<int32_t>(rowTexts_.size());
    size_t widest = 0;
    for (int32_t r = 1; r <= totalRows_; ++r) {
        FetchRow(rowFields_, r);
        widest = std::max(widest, rowFields_.size());
    }
    if (widest > static_cast<size_t>(std::numeric_limits<int16_t>::max())) {
        errorText_ = kTooManyFields;
        loadIncomplete_ = true;
        return false;
    }
    totalColumns_ = static_cast<int16_t>(widest);
    if (totalColumns_ != 0) sheetExists_ = true;
    return true;
}

bool SheetFile::AddHeaderFields(const std::vector<std::string>& fields, bool replace) try {
    if (!sheetExists_) {
        if (fields.size() > static_cast<size_t>(std::numeric_limits<int16_t>::max())) {
            errorText_ = kTooManyFields;
            return false;
        }
        totalColumns_ = static_cast<int16_t>(fields.size());
        if (!PutRow(fields, 1, true)) return false;
        // Rows already held stay counted; only an otherwise empty sheet is down to its header.
        totalRows_ = static_cast<int32_t>(rowTexts_.size());
        return true;
    }
    if (replace) return PutRow(fields, 1, true);
    if (!FetchRow(rowFields_, 1)) return false;
    if (workbookMode_) {
        for (const std::string& field : fields)
            if (std::find(rowFields_.begin(), rowFields_.end(), field) != rowFields_.end()) {
                errorText_ = kDuplicateHeader + field + "\n";
                return false;
            }
    }
    rowFields_.insert(rowFields_.end(), fields.begin(), fields.end());
    if (!PutRow(rowFields_, 1, true)) {
        errorText_ = kHeaderProblem;
        return false;
    }
    totalColumns_ = std::max<int16_t>(totalColumns_, static_cast<int16_t>(rowFields_.size()));
    return true;
} catch (const std::bad_alloc&) {
    return OutOfMemory(errorText_);
}

bool SheetFile::PutRow(const std::vector<std::string>& fields, int32_t rowNumber,
                       bool replace) try {
    if (rowNumber < 0) {
        errorText_ = kInvalidRowNumber;
        return false;
    }
    if (fields.size() > static_cast<size_t>(std::numeric_limits<int16_t>::max())) {
        errorText_ = kTooManyFields;
        return false;
    }
    const auto count = static_cast<int16_t>(fields.size());
    if (rowNumber == 1 && workbookMode_) {
        for (size_t i = 0; i < fields.size(); ++i)
            if (std::count(fields.begin(), fields.end(), fields[i]) > 1) {
                errorText_ = kDuplicateHeader + fields[i] + "\n";
                return false;
            }
        if (count < totalColumns_) {
            errorText_ = kFewerHeaderColumns;
            return false;
        }
        // A ']' would end the bracketed column name early in the statements.
        for (const std::string& field : fields)
            if (field.find(']') != std::string::npos) {
                errorText_ = kBracketInHeader + field + "\n";
                return false;
            }
    }
    if (rowNumber != 1 && workbookMode_ && totalColumns_ == 0) {
        errorText_ = kNoHeaderRow;
        return false;
    }
    if (workbookMode_ && rowNumber != 1 && fields.size() > headerFields_.size()) {
        errorText_ = kTooManyColumns;
        return false;
    }
    if (!MakeRowText(fields)) {
        std::string suspect = fields.front();
        for (const std::string& field : fields)
            if (field.find_first_of("\"\r\n") != std::string::npos ||
                (!separator_.empty() && field.find(separator_) != std::string::npos)) {
                suspect = field;
                break;
            }
        errorText_ = kFieldNotHeld + suspect + "\n";
        return false;
    }
    if (rowNumber > totalRows_ + 1 && static_cast<size_t>(rowNumber) > kSheetMaxRows) {
        errorText_ = kRowBeyondSheet;
        return false;
    }

    if (rowNumber == 1) {
        if (workbookMode_) totalColumns_ = count;
        headerFields_ = fields;
    }
    if (!workbookMode_) totalColumns_ = std::max(totalColumns_, count);

    if (rowNumber >= 1 && rowNumber <= totalRows_) {
        if (replace) {
            rowTexts_[rowNumber - 1] = rowScratch_;
        } else {
            rowTexts_.insert(rowTexts_.begin() + (rowNumber - 1), rowScratch_);
            totalRows_ += 1;
        }
    } else if (rowNumber > totalRows_) {
        // Rows up to the new one are filled with empty cells; the next row needs none.
        std::string filler;
        const char* cell = workbookMode_ ? "\" \"" : "\"\"";
        for (int16_t k = 0; k < totalColumns_ && rowNumber - 1 > totalRows_; ++k) {
            filler += cell;
            if (k + 1 < totalColumns_) filler += separator_;
        }
        currentRow_ = totalRows_;
        while (currentRow_ < rowNumber - 1) {
            rowTexts_.push_back(filler);
            currentRow_ += 1;
        }
        rowTexts_.push_back(rowScratch_);
        currentRow_ = rowNumber;
        totalRows_ = rowNumber;
    } else {
        rowTexts_.push_back(rowScratch_);
        totalRows_ += 1;
    }
    if (!writesDeferred_) WriteBack();
    return true;
} catch (const std::bad_alloc&) {
    return OutOfMemory(errorText_);
}

bool SheetFile::FetchRow(std::vector<std::string>& out, int32_t rowNumber) try {
    if (rowNumber < 0) {
        errorText_ = kInvalidRowNumber;
        return false;
    }
    const size_t held = rowTexts_.size();
    if (static_cast<size_t>(rowNumber) > held) {
        errorText_ = kRowBeyondEnd;
        return false;
    }
    if (rowNumber != 0)
        currentRow_ = rowNumber;
    else if (currentRow_ < 1 || static_cast<size_t>(currentRow_) > held)
        return false;
    // Filled in place: the rows of a write-back all go through the same vector.
    out.clear();
    ForEachRowField(rowTexts_[currentRow_ - 1], separator_,
                    [&](std::string_view field) { out.emplace_back(field); });
    currentRow_ += 1;
    return true;
} catch (const std::bad_alloc&) {
    return OutOfMemory(errorText_);
}

bool SheetFile::WriteBack() try {
    if (loadIncomplete_) {
        errorText_ = kLoadIncomplete;
        return false;
    }
    return workbookMode_ ? WriteWorkbook() : WriteTextFile();
} catch (const std::bad_alloc&) {
    return OutOfMemory(errorText_);
}

bool SheetFile::WriteWorkbook() {
    database_->Open(connectString_);
    std::string driverText;
    auto refused = [&] {
        errorText_ = driverText;
        std::string ignored;
        database_->Close(&ignored);
        return false;
    };
    if (sheetExists_) {
        statementScratch_ = "DROP TABLE [" + sheetName_ + kSheetRange + "]";
        if (!database_->Execute(statementScratch_, &driverText)) return refused();
        statementScratch_ = "CREATE TABLE [" + sheetName_ + kSheetRange + "] (";
    } else {
        statementScratch_ = "CREATE TABLE [" + sheetName_ + "] (";
    }
    for (const std::string& header : headerFields_)
        statementScratch_ += "[" + header + "] char(255), ";
    statementScratch_.erase(statementScratch_.size() - 2);
    statementScratch_ += ")";
    if (!database_->Execute(statementScratch_, &driverText)) return refused();
    if (!sheetExists_) {
        sheetExists_ = true;
        totalColumns_ = static_cast<int16_t>(headerFields_.size());
    }
    // The column list of a row with every field, the same in each INSERT.
    std::string allColumns;
    for (const std::string& header : headerFields_)
        allColumns.append("[").append(header).append("], ");
    std::string& sql = statementScratch_;
    std::string values;
    for (int32_t r = 1; r <= totalRows_ - 1; ++r) {
        // The row's fields go into the statement straight from its text, as FetchRow would
        // split them, and leave the current row where FetchRow would.
        if (static_cast<size_t>(r) >= rowTexts_.size()) {
            driverText = errorText_ = kRowBeyondEnd;
            return refused();
        }
        values.clear();
        size_t fields = 0;
        ForEachRowField(rowTexts_[r], separator_, [&](std::string_view field) {
            values += '\'';
            AppendSqlText(values, field);
            values += "', ";
            ++fields;
        });
        currentRow_ = r + 2;
        if (fields > headerFields_.size()) {
            driverText = kTooManyColumns;
            return refused();
        }
        sql.assign("INSERT INTO [").append(sheetName_).append("$A1:IV");
        sql.append(std::to_string(r)).append("] (");
        if (fields == headerFields_.size()) {
            sql += allColumns;
        } else {
            for (size_t k = 0; k < fields; ++k)
                sql.append("[").append(headerFields_[k]).append("], ");
        }
        sql.erase(sql.size() - 2);
        sql.append(") VALUES (").append(values);
        sql.erase(sql.size() - 2);
        sql += ")";
        if (!database_->Execute(sql, &driverText)) return refused();
    }
    if (!database_->Close(&driverText)) {
        errorText_ = driverText;
        return false;
    }
    writesDeferred_ = false;
    return true;
}

bool SheetFile::WriteTextFile() {
    std::FILE* file = std::fopen(filePath_.c_str(), "wb");
    if (!file) {
        errorText_ = kWritingFile;
        return false;
    }
    bool ok = true;
    for (const std::string& row : rowTexts_) {
        ok = ok && std::fwrite(row.data(), 1, row.size(), file) == row.size();
        ok = ok && std::fwrite("\r\n", 1, 2, file) == 2;
    }
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        errorText_ = kWritingFile;
        return false;
    }
    writesDeferred_ = false;
    return true;
}

bool SheetFile::MakeRowText(const std::vector<std::string>& fields) {
    std::string& text = rowScratch_;
    text.clear();
    bool plain = !separator_.empty() && separator_.find('"') == std::string::npos;
    for (size_t i = 0; i < fields.size(); ++i) {
        text.append("\"").append(fields[i]).append("\"");
        if (i + 1 < fields.size()) text += separator_;
        plain = plain && !HoldsQuoteOrSeparator(fields[i], separator_);
    }
    if (fields.empty()) return true;
    if (!workbookMode_ && text.find_first_of("\r\n") != std::string::npos) return false;
    // Without a quote in the fields or the separator, and without the separator in a field, the
    // quotes around each field are the only ones in the text and the separator stands only
    // between them: the text splits back into the fields, as nearly every row does, and the
    // split need not be tried.
    if (plain) return true;
    size_t count = 0;
    bool same = true;
    ForEachRowField(text, separator_, [&](std::string_view field) {
        same = same && count < fields.size() && field == fields[count];
        ++count;
    });
    return same && count == fields.size();
}

}  // namespace b6409
