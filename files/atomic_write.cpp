#include "files/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace b6409 {

namespace {

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

AtomicWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    struct stat existing {};
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || access(path.c_str(), W_OK) != 0))
        return AtomicWriteResult::CreateFailed;
    if (!exists && errno != ENOENT) return AtomicWriteResult::CreateFailed;

    std::string temporary = DirectoryOf(path) + "/.b6409-save-XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return AtomicWriteResult::CreateFailed;
    fchmod(fd, exists ? (existing.st_mode & 07777) : NewFileMode());

    size_t written = 0;
    bool ok = true;
    while (ok && written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            ok = false;
        }
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return AtomicWriteResult::WriteFailed;
    }
    return AtomicWriteResult::Ok;
}

}  // namespace b6409
