#include "files/bounded_file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace b6409 {

namespace {

BoundedRead ReadOpenFile(int fd, uint64_t limit, std::vector<uint8_t>& bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return {BoundedReadStatus::ReadFailed, errno};
    if (!S_ISREG(info.st_mode)) return {BoundedReadStatus::NotAFile, 0};
    if (uint64_t(info.st_size) > limit) return {BoundedReadStatus::TooLarge, 0};
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // Straight into the buffer, sized to the file and a byte more so that the next read shows
    // the end; it grows with a file that grows, up to a byte past the limit.
    bytes.resize(size_t(info.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(std::min<uint64_t>(2 * bytes.size() + 65536, limit + 1));
        const ssize_t n = read(fd, bytes.data() + used, bytes.size() - used);
        if (n > 0) {
            used += size_t(n);
            if (used > limit) return {BoundedReadStatus::TooLarge, 0};
        } else if (n == 0) {
            bytes.resize(used);
            return {};
        } else if (errno != EINTR) {
            return {BoundedReadStatus::ReadFailed, errno};
        }
    }
}

}  // namespace

BoundedRead ReadRegularFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {BoundedReadStatus::CannotOpen, errno};
    const BoundedRead result = ReadOpenFile(fd, limit, bytes);
    close(fd);
    if (result.status != BoundedReadStatus::Ok) bytes.clear();
    return result;
}

}  // namespace b6409
