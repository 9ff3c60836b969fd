#include "files/atomic_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/text_format.h"

namespace b6409 {

namespace {

constexpr char kStagingPrefix[] = ".b6409-save-XXXXXX";

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links from the path to the file they end at, which need not exist yet (a
// link to a file still to be made is followed too).
bool FollowLinks(std::string path, std::string* end) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *end = std::move(path);
            return true;
        }
        char text[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), text, sizeof text);
        if (length <= 0 || size_t(length) == sizeof text) return false;
        const std::string link(text, size_t(length));
        path = link.front() == '/' ? link : DirectoryOf(path) + "/" + link;
    }
    return false;  // a loop of links
}

// Why a new file could not be made in a folder. A folder that refuses may still hold a file
// that can be written, which the callers then write in place.
AtomicWriteResult CreationFailure(int error) {
    if (error == EACCES || error == EPERM || error == EROFS)
        return AtomicWriteResult::FolderReadOnly;
    if (error == ENOSPC || error == EDQUOT) return AtomicWriteResult::WriteFailed;
    return AtomicWriteResult::CreateFailed;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes, size_t* written) {
    *written = 0;
    while (*written < bytes.size()) {
        const ssize_t n =
            pwrite(fd, bytes.data() + *written, bytes.size() - *written, off_t(*written));
        if (n > 0) {
            *written += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

// The replacing file gets the old one's owner and mode, so that a save changes no one's access
// to it. Only the superuser may give a file away; where the owner or the group cannot be kept,
// the file stays the writer's, without special bits, and its group gets no more than everyone
// else had.
bool TakeOverOwnerAndMode(int fd, const SaveTarget& target) {
    const struct stat& old = target.info;
    if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, uid_t(-1), old.st_gid) != 0 &&
        errno != EPERM)
        return false;
    struct stat now {};
    if (fstat(fd, &now) != 0) return false;
    mode_t mode = old.st_mode & 07777;
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) mode &= 0777;
    if (now.st_gid != old.st_gid) mode &= ~(S_IRWXG & ~((mode & S_IRWXO) << 3));
    return fchmod(fd, mode) == 0;
}

// The bytes over the file itself, for a folder that takes no new file. The file keeps its
// owner, mode and links, but the save is no longer all or nothing: the blocks are reserved
// first, so that a full disk refuses it before anything has changed, yet a write that fails
// midway (an I/O error, a file size limit) leaves the file part new and part old, which
// LeftIncomplete reports.
AtomicWriteResult WriteInPlace(const SaveTarget& target, const std::vector<uint8_t>& bytes) {
    const int fd = open(target.path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EPERM || errno == EROFS ? AtomicWriteResult::ReadOnly
                                                                   : AtomicWriteResult::WriteFailed;
    struct stat now {};
    if (fstat(fd, &now) != 0 || !S_ISREG(now.st_mode)) {
        close(fd);
        return AtomicWriteResult::NotAFile;
    }
    if (!bytes.empty() && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
        (errno == ENOSPC || errno == EDQUOT)) {
        close(fd);
        return AtomicWriteResult::WriteFailed;
    }
    size_t written = 0;
    bool ok = WriteAll(fd, bytes, &written);
    ok = ok && ftruncate(fd, off_t(bytes.size())) == 0;
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok) return AtomicWriteResult::Ok;
    return written == 0 ? AtomicWriteResult::WriteFailed : AtomicWriteResult::LeftIncomplete;
}

}  // namespace

std::string FileFailureText(AtomicWriteResult result, const std::string& path) {
    switch (result) {
        case AtomicWriteResult::Ok:
            return {};
        case AtomicWriteResult::CreateFailed:
            return "Create File Failed !";
        case AtomicWriteResult::WriteFailed:
            return "Write File Failed !";
        case AtomicWriteResult::NotAFile:
            return FormatText("\"%s\" is not a regular file !\nPlease choose another file !",
                              path.c_str());
        case AtomicWriteResult::ReadOnly:
            return FormatText("\"%s\" is read-only !\nPlease choose another file name !",
                              path.c_str());
        case AtomicWriteResult::FolderReadOnly:
            return FormatText(
                "\"%s\" cannot be created in a read-only folder !\nPlease choose another folder !",
                path.c_str());
        case AtomicWriteResult::LeftIncomplete:
            return FormatText(
                "Write File Failed !\n\"%s\" is incomplete now; please save it again !",
                path.c_str());
    }
    return {};
}

AtomicWriteResult ResolveSaveTarget(const std::string& path, SaveTarget* target) {
    if (!FollowLinks(path, &target->path)) return AtomicWriteResult::CreateFailed;
    target->exists = lstat(target->path.c_str(), &target->info) == 0;
    if (!target->exists)
        return errno == ENOENT ? AtomicWriteResult::Ok : AtomicWriteResult::CreateFailed;
    if (!S_ISREG(target->info.st_mode)) return AtomicWriteResult::NotAFile;
    if ((target->info.st_mode & 0222) == 0 ||
        faccessat(AT_FDCWD, target->path.c_str(), W_OK, AT_EACCESS) != 0)
        return AtomicWriteResult::ReadOnly;
    return AtomicWriteResult::Ok;
}

AtomicWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    SaveTarget target;
    AtomicWriteResult result = ResolveSaveTarget(path, &target);
    if (result != AtomicWriteResult::Ok) return result;
    const auto slash = target.path.rfind('/');
    StagingFolder staging;
    result = staging.Open(target,
                          slash == std::string::npos ? target.path : target.path.substr(slash + 1));
    if (result == AtomicWriteResult::FolderReadOnly && target.exists)
        return WriteInPlace(target, bytes);
    if (result != AtomicWriteResult::Ok) return result;

    const int fd = open(staging.filePath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return CreationFailure(errno);
    size_t written = 0;
    const bool ok = WriteAll(fd, bytes, &written);
    if (close(fd) != 0 || !ok) return AtomicWriteResult::WriteFailed;
    return staging.Commit(target);
}

StagingFolder::~StagingFolder() {
    if (folder_.empty()) return;
    if (DIR* folder = opendir(folder_.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") unlinkat(dirfd(folder), name.c_str(), 0);
        }
        closedir(folder);
    }
    rmdir(folder_.c_str());
}

AtomicWriteResult StagingFolder::Make(std::string pattern, const std::string& name) {
    if (!mkdtemp(pattern.data())) return CreationFailure(errno);
    folder_ = std::move(pattern);
    filePath_ = folder_ + "/" + name;
    return AtomicWriteResult::Ok;
}

AtomicWriteResult StagingFolder::Open(const SaveTarget& target, const std::string& name) {
    beside_ = true;
    return Make(DirectoryOf(target.path) + "/" + kStagingPrefix, name);
}

AtomicWriteResult StagingFolder::OpenElsewhere(const std::string& name) {
    beside_ = false;
    const char* temporary = std::getenv("TMPDIR");
    const AtomicWriteResult result = Make(
        std::string(temporary && *temporary ? temporary : "/tmp") + "/" + kStagingPrefix, name);
    // The target's own folder is not the one that failed here.
    return result == AtomicWriteResult::FolderReadOnly ? AtomicWriteResult::WriteFailed : result;
}

AtomicWriteResult StagingFolder::Commit(const SaveTarget& target) {
    if (beside_) {
        const int fd = open(filePath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return AtomicWriteResult::WriteFailed;
        bool ok = !target.exists || TakeOverOwnerAndMode(fd, target);
        ok = ok && fsync(fd) == 0;
        ok = (close(fd) == 0) && ok;
        if (!ok) return AtomicWriteResult::WriteFailed;
        if (rename(filePath_.c_str(), target.path.c_str()) == 0) return AtomicWriteResult::Ok;
        // In a sticky folder (/tmp) only its owner may replace a file that others may write.
        if (!target.exists || (errno != EPERM && errno != EACCES))
            return AtomicWriteResult::WriteFailed;
    }
    const int fd = open(filePath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return AtomicWriteResult::WriteFailed;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            close(fd);
            return AtomicWriteResult::WriteFailed;
        }
    }
    close(fd);
    return WriteInPlace(target, bytes);
}

}  // namespace b6409
