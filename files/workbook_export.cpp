#include "files/workbook_export.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "common/text_format.h"
#include "sheet/sheet_file.h"

namespace b6409 {

namespace {

std::string FrameId(int modulePort, unsigned code) {
    return FormatText("0x%03X", static_cast<unsigned>(modulePort) * 256 + code);
}

std::vector<std::string> FrameRow(int modulePort, unsigned code, std::string dataLow,
                                  std::string dataHigh) {
    return {"0", FrameId(modulePort, code), "0", "8", std::move(dataLow), std::move(dataHigh)};
}

// Another program has the file: its lock, or an office suite's lock file beside it.
bool HeldByAnotherProgram(const std::string& path, int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK;
    flock(fd, LOCK_UN);
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return access((directory + ".~lock." + name + "#").c_str(), F_OK) == 0;
}

// Removes the old file so no sheet of it survives; false when it is in use or cannot go.
bool RemoveOldWorkbook(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;  // nothing there, or nothing we may read: the write will tell
    const bool held = HeldByAnotherProgram(path, fd);
    close(fd);
    return !held && unlink(path.c_str()) == 0;
}

std::string WithoutTrailingNewlines(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

const std::vector<std::string>& ExportHeader() {
    static const std::vector<std::string> header = {"Mode", "ID", "RTR", "DLC", "DataL", "DataH"};
    return header;
}

std::vector<std::vector<std::string>> ExportFrameRows(IdListMode mode, const IdTable& table,
                                                      int modulePort) {
    const bool filter = mode == IdListMode::Filter;
    const std::string zero = "0x00000000";
    std::vector<std::vector<std::string>> rows;
    rows.push_back(FrameRow(modulePort, filter ? 0x01 : 0x07, zero, zero));
    for (const IdRow& row : table.Rows()) {
        const auto kind = KindFromTypeText(row.type, mode);
        if (!kind) continue;
        const IdKindInfo& info = InfoOf(*kind);
        std::string low = row.id;
        std::string high = "0xFFFFFFFF";
        if (info.twoValues) {
            const auto cut = row.id.find(info.separator);
            low = row.id.substr(0, cut);
            high = cut == std::string::npos ? std::string() : row.id.substr(cut + 1);
            // A target of the other width carries its flag, written without the prefix.
            if (info.targetFlag) high = FormatText("%08X", ReadHexNumber(high) | kTargetFlag);
        }
        rows.push_back(FrameRow(modulePort, info.entryCode, std::move(low), std::move(high)));
    }
    rows.push_back(FrameRow(modulePort, filter ? 0x02 : 0x08, zero, zero));
    return rows;
}

std::string WorkbookFilePath(std::string path) {
    if (path.find(".xls") == std::string::npos) path += ".xls";
    return path;
}

bool ExportWorkbook(const std::string& pathAsTyped, IdListMode mode, const IdTable& table,
                    int modulePort, MessageSink& sink, DriverRegistry& drivers) {
    const std::string path = WorkbookFilePath(pathAsTyped);
    if (!RemoveOldWorkbook(path)) {
        sink.Show(FormatText("\"%s\" is opened !\nPlease close file first !", path.c_str()),
                  MessageIcon::Stop);
        return false;
    }
    const char* sheetName = mode == IdListMode::Filter ? kFilterSheetName : kMappingSheetName;
    try {
        SheetFile sheet(path, sheetName, false, drivers);
        sheet.DeferWrites();
        bool written = sheet.AddHeaderFields(ExportHeader(), true);
        int32_t sheetRow = 2;
        for (const auto& row : ExportFrameRows(mode, table, modulePort))
            written = written && sheet.PutRow(row, sheetRow++, true);
        written = written && sheet.WriteBack();
        if (!written) {
            sink.Show(WithoutTrailingNewlines(sheet.errorText()), MessageIcon::Stop);
            return false;
        }
    } catch (const DatabaseError& error) {
        sink.Show(WithoutTrailingNewlines(error.what()), MessageIcon::Stop);
        return false;
    }
    sink.Show("File Saved OK !!", MessageIcon::Information);
    return true;
}

}  // namespace b6409
