#include "sheet/sheet_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <new>

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

std::vector<std::string> SplitAt(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> pieces;
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(delimiter, from);
        if (at == std::string::npos) break;
        pieces.push_back(text.substr(from, at - from));
        from = at + delimiter.size();
    }
    pieces.push_back(text.substr(from));
    return pieces;
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
    const std::string quoted = "\"" + separator + "\"";
    if (text.find(quoted) != std::string::npos) {
        std::vector<std::string> fields = SplitAt(text, quoted);
        if (!fields.front().empty()) fields.front().erase(0, 1);
        if (!fields.back().empty()) fields.back().pop_back();
        return fields;
    }
    // An empty separator is contained everywhere; it cannot split anything.
    if (!separator.empty() && text.find(separator) != std::string::npos)
        return SplitAt(text, separator);
    std::string field = text;
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
        field = field.substr(1, field.size() - 2);
    return {field};
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
        if (!HoldsUnchanged(headerFields_)) return readFailure();
        rowTexts_.push_back(RowText(headerFields_));
        totalRows_ += 1;
        while (!query_->AtEnd()) {
            rowFields_.assign(totalColumns_, std::string());
            for (int k = 0; k < totalColumns_; ++k)
                if (!query_->FieldValue(k, &rowFields_[k])) return readFailure();
            if (!HoldsUnchanged(rowFields_)) return readFailure();
            rowTexts_.push_back(RowText(rowFields_));
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
    if (!HoldsUnchanged(fields)) {
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

    rowScratch_ = RowText(fields);
    if (rowNumber >= 1 && rowNumber <= totalRows_) {
        if (replace) {
            rowTexts_[rowNumber - 1] = rowScratch_;
        } else {
            rowTexts_.insert(rowTexts_.begin() + (rowNumber - 1), rowScratch_);
            totalRows_ += 1;
        }
    } else if (rowNumber > totalRows_) {
        std::string filler;
        const char* cell = workbookMode_ ? "\" \"" : "\"\"";
        for (int16_t k = 0; k < totalColumns_; ++k) {
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
    out = SplitRowText(rowTexts_[currentRow_ - 1], separator_);
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
    for (int32_t r = 1; r <= totalRows_ - 1; ++r) {
        FetchRow(rowFields_, r + 1);
        if (rowFields_.size() > headerFields_.size()) {
            driverText = kTooManyColumns;
            return refused();
        }
        statementScratch_ = "INSERT INTO [" + sheetName_ + "$A1:IV" + std::to_string(r) + "] (";
        for (size_t k = 0; k < rowFields_.size(); ++k)
            statementScratch_ += "[" + headerFields_[k] + "], ";
        statementScratch_.erase(statementScratch_.size() - 2);
        statementScratch_ += ") VALUES (";
        for (const std::string& field : rowFields_)
            statementScratch_ += "'" + EscapeSqlText(field) + "', ";
        statementScratch_.erase(statementScratch_.size() - 2);
        statementScratch_ += ")";
        if (!database_->Execute(statementScratch_, &driverText)) return refused();
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

std::string SheetFile::RowText(const std::vector<std::string>& fields) const {
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
        text += "\"" + fields[i] + "\"";
        if (i + 1 < fields.size()) text += separator_;
    }
    return text;
}

// True when the row text of these fields splits back into the same fields (and, in a text
// file, stays on one line).
bool SheetFile::HoldsUnchanged(const std::vector<std::string>& fields) const {
    if (fields.empty()) return true;
    const std::string text = RowText(fields);
    if (!workbookMode_ && text.find_first_of("\r\n") != std::string::npos) return false;
    return SplitRowText(text, separator_) == fields;
}

}  // namespace b6409
