#include "files/workbook_export.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "common/text_format.h"
#include "files/atomic_write.h"
#include "sheet/sheet_file.h"
#include "sheet/xls_workbook.h"

namespace b6409 {

namespace {

std::string FrameId(int modulePort, unsigned code) {
    return FormatText("0x%03X", static_cast<unsigned>(modulePort) * 256 + code);
}

// The frame identifiers of one module port, each formatted once: a long list has many rows of
// one code.
class FrameIds {
  public:
    explicit FrameIds(int modulePort) : modulePort_(modulePort) {}
    const std::string& Of(unsigned code) {
        std::string& id = ids_[code & 0xFF];
        if (id.empty()) id = FrameId(modulePort_, code & 0xFF);
        return id;
    }

  private:
    int modulePort_;
    std::array<std::string, 256> ids_;
};

std::vector<std::string> FrameRow(const std::string& frameId, std::string dataLow,
                                  std::string dataHigh) {
    return {"0", frameId, "0", "8", std::move(dataLow), std::move(dataHigh)};
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the file carries a lock of another program: flock, or a POSIX record lock as office
// suites take. A file we may not read cannot be asked.
bool Locked(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!locked) {
        flock(fd, LOCK_UN);
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        locked = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    }
    close(fd);
    return locked;
}

// Another program has the workbook: its lock, or an office suite's lock file beside the name
// it was opened by (the path as typed, or the file a link there leads to).
bool HeldByAnotherProgram(const std::string& path, const SaveTarget& target) {
    if (Locked(target.path)) return true;
    for (const std::string* name : {&path, &target.path}) {
        const std::string directory = name->substr(0, name->size() - NameOf(*name).size());
        if (access((directory + ".~lock." + NameOf(*name) + "#").c_str(), F_OK) == 0) return true;
    }
    return false;
}

// The driver's text names the file it wrote, which is the staged one; the user knows the other.
std::string NamingTheTarget(std::string text, const std::string& staged, const std::string& path) {
    for (auto at = text.find(staged); at != std::string::npos;
         at = text.find(staged, at + path.size()))
        text.replace(at, staged.size(), path);
    return text;
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
    FrameIds ids(modulePort);
    std::vector<std::vector<std::string>> rows;
    rows.reserve(table.RowCount() + 2);
    rows.push_back(FrameRow(ids.Of(filter ? 0x01 : 0x07), zero, zero));
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
        rows.push_back(FrameRow(ids.Of(info.entryCode), std::move(low), std::move(high)));
    }
    rows.push_back(FrameRow(ids.Of(filter ? 0x02 : 0x08), zero, zero));
    return rows;
}

std::string WorkbookFilePath(std::string path) {
    if (path.find(".xls") == std::string::npos) path += ".xls";
    return path;
}

bool ExportWorkbook(const std::string& pathAsTyped, IdListMode mode, const IdTable& table,
                    int modulePort, MessageSink& sink, DriverRegistry& drivers) {
    // The frames must be those a download would send, and a download refuses such a table.
    if (const auto problem = FirstUnsendableRow(mode, table)) {
        sink.Show(*problem + " Nothing was saved.", MessageIcon::Stop);
        return false;
    }
    const std::string path = WorkbookFilePath(pathAsTyped);
    if (const auto refusal = WorkbookPathRefusal(path)) {
        sink.Show(*refusal, MessageIcon::Stop);
        return false;
    }
    // The new workbook is made in a folder of its own beside the old one and replaces it only
    // when complete: a failure anywhere leaves the old file as it was and nothing else behind.
    SaveTarget target;
    AtomicWriteResult result = ResolveSaveTarget(path, &target);
    if (result == AtomicWriteResult::Ok && target.exists && HeldByAnotherProgram(path, target)) {
        sink.Show(FormatText("\"%s\" is opened !\nPlease close file first !", path.c_str()),
                  MessageIcon::Stop);
        return false;
    }
    StagingFolder staging;
    if (result == AtomicWriteResult::Ok) result = staging.Open(target, NameOf(path));
    if (result == AtomicWriteResult::FolderReadOnly && target.exists)
        result = staging.OpenElsewhere(NameOf(path));
    if (result != AtomicWriteResult::Ok) {
        sink.Show(FileFailureText(result, path), MessageIcon::Stop);
        return false;
    }
    const char* sheetName = mode == IdListMode::Filter ? kFilterSheetName : kMappingSheetName;
    try {
        SheetFile sheet(staging.filePath(), sheetName, false, drivers);
        // The header and every frame must fit one sheet, or the end frame would be missing.
        const auto frames = ExportFrameRows(mode, table, modulePort);
        if (sheet.workbookMode() && frames.size() + 1 > kSheetMaxRows) {
            sink.Show(FormatText("\"%s\" cannot hold %zu rows !\nA sheet takes at most %zu; "
                                 "please split the list !",
                                 path.c_str(), frames.size() - 2, kSheetMaxRows - 3),
                      MessageIcon::Stop);
            return false;
        }
        sheet.DeferWrites();
        bool written = sheet.AddHeaderFields(ExportHeader(), true);
        int32_t sheetRow = 2;
        for (const auto& row : frames) written = written && sheet.PutRow(row, sheetRow++, true);
        written = written && sheet.WriteBack();
        if (!written) {
            sink.Show(NamingTheTarget(WithoutTrailingNewlines(sheet.errorText()),
                                      staging.filePath(), path),
                      MessageIcon::Stop);
            return false;
        }
    } catch (const DatabaseError& error) {
        sink.Show(NamingTheTarget(WithoutTrailingNewlines(error.what()), staging.filePath(), path),
                  MessageIcon::Stop);
        return false;
    }
    result = staging.Commit(target);
    if (result != AtomicWriteResult::Ok) {
        sink.Show(FileFailureText(result, path), MessageIcon::Stop);
        return false;
    }
    sink.Show("File Saved OK !!", MessageIcon::Information);
    return true;
}

}  // namespace b6409
