#include "sheet/workbook_driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "sheet/sql_statement.h"
#include "sheet/xls_workbook.h"

namespace b6409 {
namespace {

// Larger files are not workbooks this utility deals with; refusing them keeps a stray path
// from filling the memory.
constexpr uint64_t kMaxWorkbookFileSize = uint64_t{512} << 20;

constexpr char kOutOfMemory[] = "There is not enough memory for the workbook.";

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Compared as Upper(a) == Upper(b), without copying either: every statement looks its sheet up,
// nearly always by the name as it is.
bool SameSheetName(const std::string& a, const std::string& b) {
    auto upper = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
    if (a == b) return true;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return upper(x) == upper(y); });
}

std::string SystemText(int error) {
    return std::strerror(error);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* errorText) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *errorText = SystemText(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *errorText = "not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxWorkbookFileSize) {
        ::close(fd);
        *errorText = "the file is larger than 512 MiB";
        return false;
    }
    bytes->clear();
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *errorText = SystemText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes->insert(bytes->end(), buffer, buffer + n);
        if (bytes->size() > kMaxWorkbookFileSize) {
            *errorText = "the file is larger than 512 MiB";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Writes next to the file and renames over it, so the old workbook stays whole until the new
// one is complete on disk.
bool ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes,
                 std::string* errorText) {
    std::string target = path;
    struct stat st;
    bool existed = false;
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* resolved = ::realpath(path.c_str(), nullptr);
            if (resolved) {
                target = resolved;
                std::free(resolved);
            }
        }
        existed = ::stat(target.c_str(), &st) == 0;
    }
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *errorText = "Cannot write workbook '" + path + "': " + SystemText(errno);
        return false;
    }
    size_t done = 0;
    int failure = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!failure && existed && ::fchmod(fd, st.st_mode & 07777) != 0) failure = errno;
    if (!failure && ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && !failure) failure = errno;
    if (!failure && ::rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
    if (failure) {
        ::unlink(temporary.c_str());
        *errorText = "Cannot write workbook '" + path + "': " + SystemText(failure);
        return false;
    }
    return true;
}

class WorkbookQuery : public SpreadsheetQuery {
  public:
    WorkbookQuery(std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}

    int ColumnCount() override { return static_cast<int>(columns_.size()); }
    std::string ColumnName(int column) override {
        return column >= 0 && static_cast<size_t>(column) < columns_.size() ? columns_[column]
                                                                            : std::string();
    }
    bool AtEnd() override { return next_ >= rows_.size(); }
    bool FieldValue(int column, std::string* text) override {
        if (AtEnd() || column < 0 || static_cast<size_t>(column) >= columns_.size()) return false;
        const auto& row = rows_[next_];
        *text = static_cast<size_t>(column) < row.size() ? row[column] : std::string();
        return true;
    }
    bool MoveNext() override {
        if (AtEnd()) return false;
        ++next_;
        return true;
    }

  private:
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    size_t next_ = 0;
};

class WorkbookConnection : public SpreadsheetConnection {
  public:
    WorkbookConnection(std::string path, Workbook workbook, bool readOnly, bool firstRowHasNames,
                       std::string unkept)
        : path_(std::move(path)),
          workbook_(std::move(workbook)),
          readOnly_(readOnly),
          firstRowHasNames_(firstRowHasNames),
          unkept_(std::move(unkept)) {}

    bool Execute(const std::string& sql, std::string* errorText) override try {
        if (!open_) return Refuse(errorText, "The connection is closed.");
        Statement& statement = statement_;
        if (!ParseStatement(sql, &statement, errorText)) return false;
        if (statement.kind == StatementKind::Select)
            return Refuse(errorText, "A SELECT statement returns rows; open it as a query.");
        if (readOnly_) return Refuse(errorText, "The workbook is opened read-only.");
        if (!unkept_.empty())
            return Refuse(errorText, "The workbook holds " + unkept_ +
                                         ", which this driver cannot keep; it is not changed.");
        switch (statement.kind) {
            case StatementKind::DropTable:
                return Drop(statement, errorText);
            case StatementKind::CreateTable:
                return Create(statement, errorText);
            default:
                return Insert(statement, errorText);
        }
    } catch (const std::bad_alloc&) {
        return Refuse(errorText, kOutOfMemory);
    }

    std::unique_ptr<SpreadsheetQuery> OpenQuery(const std::string& sql,
                                                std::string* errorText) override try {
        if (!open_) {
            *errorText = "The connection is closed.";
            return nullptr;
        }
        Statement statement;
        if (!ParseStatement(sql, &statement, errorText)) return nullptr;
        if (statement.kind != StatementKind::Select) {
            *errorText = "Only a SELECT statement can be opened as a query.";
            return nullptr;
        }
        const Sheet* sheet = Find(statement.table.sheet);
        if (!sheet) {
            *errorText = NoTable(statement.table.sheet);
            return nullptr;
        }
        const std::vector<std::string> columns = ColumnNames(*sheet);
        const size_t first = firstRowHasNames_ && !sheet->rows.empty() ? 1 : 0;
        std::vector<std::vector<std::string>> rows(sheet->rows.begin() + first, sheet->rows.end());
        if (columns.empty()) rows.clear();
        return std::make_unique<WorkbookQuery>(columns, std::move(rows));
    } catch (const std::bad_alloc&) {
        *errorText = kOutOfMemory;
        return nullptr;
    }

    bool Close(std::string* errorText) override try {
        if (!open_) return true;
        open_ = false;
        if (!dirty_) return true;
        std::vector<uint8_t> bytes;
        if (!BuildWorkbookFile(workbook_, &bytes, errorText)) return false;
        return ReplaceFile(path_, bytes, errorText);
    } catch (const std::bad_alloc&) {
        return Refuse(errorText, kOutOfMemory);
    }

  private:
    static bool Refuse(std::string* errorText, std::string text) {
        *errorText = std::move(text);
        return false;
    }
    static std::string NoTable(const std::string& name) {
        return "Table '" + name + "' does not exist.";
    }

    Sheet* Find(const std::string& name) {
        for (Sheet& sheet : workbook_.sheets)
            if (SameSheetName(sheet.name, name)) return &sheet;
        return nullptr;
    }

    static size_t Width(const Sheet& sheet) {
        size_t width = 0;
        for (const auto& row : sheet.rows) width = std::max(width, row.size());
        return width;
    }

    // The column names of the sheet that statements last named, kept while they hold: an INSERT
    // (one per row of an export) leaves them as they are, and working them out walks the whole
    // sheet. Every other change forgets them, before a sheet may move.
    const std::vector<std::string>& CachedColumnNames(const Sheet& sheet) {
        if (columnsOf_ != &sheet) {
            columns_ = ColumnNames(sheet);
            std::vector<std::string_view> sorted(columns_.begin(), columns_.end());
            std::sort(sorted.begin(), sorted.end());
            columnsDistinct_ = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
            columnsOf_ = &sheet;
        }
        return columns_;
    }

    // The number of the first column of that name, columns.size() when there is none. A
    // statement names the columns in their order nearly always, so the one at `likely` is
    // tried first where no name is another's too.
    size_t FindColumn(const std::vector<std::string>& columns, const std::string& name,
                      size_t likely) const {
        if (columnsDistinct_ && likely < columns.size() && columns[likely] == name) return likely;
        return static_cast<size_t>(std::find(columns.begin(), columns.end(), name) -
                                   columns.begin());
    }
    void ForgetColumnNames() { columnsOf_ = nullptr; }

    std::vector<std::string> ColumnNames(const Sheet& sheet) const {
        std::vector<std::string> names(Width(sheet));
        for (size_t c = 0; c < names.size(); ++c) {
            if (firstRowHasNames_ && c < sheet.rows[0].size() && !sheet.rows[0][c].empty())
                names[c] = sheet.rows[0][c];
            else
                names[c] = "F" + std::to_string(c + 1);
        }
        return names;
    }

    // Why a text cannot be a cell's, to follow what it is; nullptr when it can.
    static const char* TextProblem(const std::string& text) {
        const auto length = Utf16Length(text);
        if (!length) return " is not valid UTF-8 text.";
        if (*length > kWorkbookValueLimit) return " is longer than 255 characters.";
        return nullptr;
    }

    bool Drop(const Statement& statement, std::string* errorText) {
        Sheet* sheet = Find(statement.table.sheet);
        if (!sheet) return Refuse(errorText, NoTable(statement.table.sheet));
        ForgetColumnNames();
        sheet->rows.clear();
        dirty_ = true;
        return true;
    }

    bool Create(const Statement& statement, std::string* errorText) {
        const std::string& name = statement.table.sheet;
        if (statement.columns.size() > kSheetMaxColumns)
            return Refuse(errorText, "Too many fields defined: a sheet holds 256 columns.");
        for (size_t i = 0; i < statement.columns.size(); ++i) {
            if (const char* problem = TextProblem(statement.columns[i]))
                return Refuse(errorText, "Field name '" + statement.columns[i] + "'" + problem);
            for (size_t k = 0; k < i; ++k)
                if (statement.columns[k] == statement.columns[i])
                    return Refuse(errorText, "Field '" + statement.columns[i] +
                                                 "' is defined more than once.");
        }
        Sheet* sheet = Find(name);
        if (sheet && !sheet->rows.empty())
            return Refuse(errorText, "Table '" + name + "' already exists.");
        ForgetColumnNames();
        if (!sheet) {
            Workbook probe;
            probe.sheets.push_back(Sheet{name, {}});
            std::string reason;
            if (!CheckWorkbook(probe, &reason))
                return Refuse(errorText, "Cannot create table '" + name + "': " + reason + ".");
            workbook_.sheets.push_back(Sheet{name, {}});
            sheet = &workbook_.sheets.back();
        }
        sheet->rows.push_back(statement.columns);
        dirty_ = true;
        return true;
    }

    // The row it appends is as wide as the sheet, so the sheet's column names stay.
    bool Insert(Statement& statement, std::string* errorText) {
        const std::string& name = statement.table.sheet;
        Sheet* sheet = Find(name);
        if (!sheet) return Refuse(errorText, NoTable(name));
        const std::vector<std::string>& columns = CachedColumnNames(*sheet);
        if (columns.empty()) return Refuse(errorText, "Table '" + name + "' has no columns.");
        std::vector<size_t>& targets = targets_;
        targets.clear();
        if (statement.columns.empty()) {
            if (statement.values.size() > columns.size())
                return Refuse(errorText,
                              "Table '" + name + "' has fewer columns than values given.");
            for (size_t i = 0; i < statement.values.size(); ++i) targets.push_back(i);
        } else {
            for (const std::string& column : statement.columns) {
                const size_t index = FindColumn(columns, column, targets.size());
                if (index == columns.size())
                    return Refuse(errorText,
                                  "Unknown column '" + column + "' in table '" + name + "'.");
                if (std::find(targets.begin(), targets.end(), index) != targets.end())
                    return Refuse(errorText, "Column '" + column + "' is named twice.");
                targets.push_back(index);
            }
        }
        for (size_t i = 0; i < statement.values.size(); ++i)
            if (const char* problem = TextProblem(statement.values[i]))
                return Refuse(errorText,
                              "The value for column '" + columns[targets[i]] + "'" + problem);
        if (sheet->rows.size() >= kSheetMaxRows)
            return Refuse(errorText, "Table '" + name + "' is full: a sheet holds 65536 rows.");
        std::vector<std::string> row(columns.size());
        for (size_t i = 0; i < statement.values.size(); ++i)
            row[targets[i]] = std::move(statement.values[i]);
        sheet->rows.push_back(std::move(row));
        dirty_ = true;
        return true;
    }

    std::string path_;
    Workbook workbook_;
    bool readOnly_;
    bool firstRowHasNames_;
    std::string unkept_;
    bool dirty_ = false;
    bool open_ = true;
    // Kept from statement to statement for their memory.
    Statement statement_;
    std::vector<size_t> targets_;
    const Sheet* columnsOf_ = nullptr;
    std::vector<std::string> columns_;
    bool columnsDistinct_ = false;
};

bool ParseFlag(const std::string& value, bool* flag) {
    const std::string v = Upper(value);
    if (v == "1" || v == "TRUE" || v == "YES") {
        *flag = true;
        return true;
    }
    if (v == "0" || v == "FALSE" || v == "NO") {
        *flag = false;
        return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<SpreadsheetConnection> WorkbookDriver::Connect(
    const std::string& connectString) try {
    std::vector<ConnectionKey> keys;
    std::string error;
    if (!ParseConnectString(connectString, &keys, &error))
        throw DatabaseError("Invalid connection string: " + error);
    std::string path, createPath;
    bool create = false, readOnly = false, firstRowHasNames = true;
    for (const ConnectionKey& k : keys) {
        if (k.key == "DBQ") {
            path = k.value;
        } else if (k.key == "CREATE_DB") {
            createPath = k.value;
            create = true;
        } else if (k.key == "READONLY") {
            if (!ParseFlag(k.value, &readOnly))
                throw DatabaseError("Invalid connection string: READONLY=" + k.value);
        } else if (k.key == "FIRSTROWHASNAMES") {
            if (!ParseFlag(k.value, &firstRowHasNames))
                throw DatabaseError("Invalid connection string: FIRSTROWHASNAMES=" + k.value);
        }
    }
    if (path.empty()) throw DatabaseError("No workbook named: the connection string has no DBQ.");
    if (path.find('\0') != std::string::npos)
        throw DatabaseError("Invalid connection string: the workbook path holds a zero byte.");

    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const int failure = errno;
        if (failure == ENOENT && create && createPath == path)
            return std::make_unique<WorkbookConnection>(path, Workbook(), readOnly,
                                                        firstRowHasNames, std::string());
        if (failure == ENOENT) throw DatabaseError("Workbook '" + path + "' does not exist.");
        throw DatabaseError("Cannot open workbook '" + path + "': " + SystemText(failure) + ".");
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes, &error))
        throw DatabaseError("Cannot open workbook '" + path + "': " + error + ".");
    Workbook workbook;
    WorkbookReadNotes notes;
    if (!ReadWorkbook(std::move(bytes), &workbook, &notes, &error))
        throw DatabaseError("Cannot open workbook '" + path + "': " + error + ".");
    return std::make_unique<WorkbookConnection>(path, std::move(workbook), readOnly,
                                                firstRowHasNames, notes.unkeptContent);
} catch (const std::bad_alloc&) {
    throw DatabaseError(kOutOfMemory);
}

}  // namespace b6409
