#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sheet/spreadsheet_driver.h"
#include "sheet/xls_workbook.h"
#include "support/temp_dir.h"

namespace b6409::testing {

// A folder of its own for one test, removed with everything in it afterwards.
using TempDir = b6409::test::TempDir;

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline Workbook ReadWorkbookFile(const std::string& path, std::string* unkept = nullptr) {
    Workbook workbook;
    WorkbookReadNotes notes;
    std::string error;
    if (!ReadWorkbook(ReadBytes(path), &workbook, &notes, &error))
        throw std::runtime_error("cannot read " + path + ": " + error);
    if (unkept) *unkept = notes.unkeptContent;
    return workbook;
}

// The system's Python with the Debian packages python3-xlrd and python3-xlwt (a Python of
// another installation on the PATH would not see them).
inline bool PythonHas(const char* module) {
    const std::string command =
        std::string("/usr/bin/python3 -c 'import ") + module + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Runs a Python script with arguments; returns what it printed, or nothing when it failed.
inline std::optional<std::string> RunPython(const TempDir& dir, const std::string& script,
                                            const std::vector<std::string>& arguments) {
    const std::string scriptPath = dir / "check.py";
    WriteText(scriptPath, script);
    std::string command = "/usr/bin/python3 '" + scriptPath + "'";
    for (const auto& a : arguments) command += " '" + a + "'";
    command += " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0) return "python failed: " + output;
    return output;
}

inline std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The sheets as an independent reader sees them: each row padded to the sheet's width.
inline std::string WorkbookJson(const Workbook& workbook) {
    std::string out = "[";
    for (size_t s = 0; s < workbook.sheets.size(); ++s) {
        const Sheet& sheet = workbook.sheets[s];
        size_t width = 0;
        for (const auto& row : sheet.rows) width = std::max(width, row.size());
        out += (s ? "," : "") + std::string("[") + JsonString(sheet.name) + ",[";
        for (size_t r = 0; r < sheet.rows.size(); ++r) {
            out += r ? ",[" : "[";
            for (size_t c = 0; c < width; ++c)
                out +=
                    (c ? "," : "") + JsonString(c < sheet.rows[r].size() ? sheet.rows[r][c] : "");
            out += "]";
        }
        out += "]]";
    }
    return out + "]";
}

// Prints OK when xlrd reads the file as the expected JSON (sheet name, rows of cell texts).
inline constexpr char kXlrdCompareScript[] = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
got = [[s.name, [s.row_values(r) for r in range(s.nrows)]] for s in book.sheets()]
expected = json.load(open(sys.argv[2], encoding='utf-8'))
print('OK' if got == expected else 'MISMATCH ' + repr(got)[:2000])
)";

inline std::string XlrdCompare(const TempDir& dir, const std::string& xlsPath,
                               const Workbook& expected) {
    WriteText(dir / "expected.json", WorkbookJson(expected));
    return RunPython(dir, kXlrdCompareScript, {xlsPath, dir / "expected.json"})
        .value_or("no python");
}

// A spreadsheet driver that records what it is asked and answers as a test tells it.
class RecordingDriver : public SpreadsheetDriver {
  public:
    struct Table {
        std::vector<std::string> columns;
        std::vector<std::vector<std::string>> rows;
    };

    std::vector<std::string> events;    // "CONNECT ...", "EXECUTE ...", "QUERY ...", "CLOSE"
    std::optional<Table> selectResult;  // nothing: every query is refused
    int refuseExecute = -1;             // 0-based count of Execute calls to refuse
    std::string refuseText = "Statement refused.";
    std::optional<std::string> closeFailure;
    int failFieldAtRow = -1;  // FieldValue fails on this 0-based row
    int executeCount = 0;

    std::unique_ptr<SpreadsheetConnection> Connect(const std::string& connectString) override {
        events.push_back("CONNECT " + connectString);
        return std::make_unique<Connection>(this);
    }

    std::vector<std::string> Executed() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind("EXECUTE ", 0) == 0) out.push_back(e.substr(8));
        return out;
    }

  private:
    class Query : public SpreadsheetQuery {
      public:
        Query(RecordingDriver* driver, Table table) : driver_(driver), table_(std::move(table)) {}
        int ColumnCount() override { return static_cast<int>(table_.columns.size()); }
        std::string ColumnName(int k) override { return table_.columns.at(k); }
        bool AtEnd() override { return row_ >= table_.rows.size(); }
        bool FieldValue(int k, std::string* text) override {
            if (AtEnd() || static_cast<int>(row_) == driver_->failFieldAtRow) return false;
            *text = table_.rows[row_].at(k);
            return true;
        }
        bool MoveNext() override {
            if (AtEnd()) return false;
            ++row_;
            return true;
        }

      private:
        RecordingDriver* driver_;
        Table table_;
        size_t row_ = 0;
    };

    class Connection : public SpreadsheetConnection {
      public:
        explicit Connection(RecordingDriver* driver) : driver_(driver) {}
        bool Execute(const std::string& sql, std::string* errorText) override {
            driver_->events.push_back("EXECUTE " + sql);
            if (driver_->executeCount++ == driver_->refuseExecute) {
                *errorText = driver_->refuseText;
                return false;
            }
            return true;
        }
        std::unique_ptr<SpreadsheetQuery> OpenQuery(const std::string& sql,
                                                    std::string* errorText) override {
            driver_->events.push_back("QUERY " + sql);
            if (!driver_->selectResult) {
                *errorText = "no such table";
                return nullptr;
            }
            return std::make_unique<Query>(driver_, *driver_->selectResult);
        }
        bool Close(std::string* errorText) override {
            driver_->events.push_back("CLOSE");
            if (driver_->closeFailure) {
                *errorText = *driver_->closeFailure;
                return false;
            }
            return true;
        }

      private:
        RecordingDriver* driver_;
    };
};

}  // namespace b6409::testing
