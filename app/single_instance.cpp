#include "app/single_instance.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace b6409 {

namespace {

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + strerror(error);
}

}  // namespace

std::string SingleInstanceLock::LockFilePath(const std::string& applicationName) {
    const char* runtimeDir = getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && runtimeDir[0] == '/')
        return std::string(runtimeDir) + "/" + applicationName + ".lock";
    return "/tmp/" + applicationName + "-" + std::to_string(getuid()) + ".lock";
}

SingleInstanceLock SingleInstanceLock::Acquire(const std::string& applicationName) {
    return AcquireAt(LockFilePath(applicationName));
}

SingleInstanceLock SingleInstanceLock::AcquireAt(const std::string& lockFilePath) {
    // O_NOFOLLOW: in a shared /tmp another user could plant a symbolic link under our name.
    // O_CLOEXEC: a program this one starts must not inherit, and so prolong, the mark.
    // The file is never removed: unlinking it could let a copy that has just opened the old
    // file and a copy that creates a new one both believe they are alone.
    int fd = open(lockFilePath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return SingleInstanceLock(Status::Unavailable, lockFilePath, -1,
                                  SystemError("cannot open", lockFilePath, errno));
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return SingleInstanceLock(Status::Acquired, lockFilePath, fd, {});

    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return SingleInstanceLock(Status::AlreadyHeld, lockFilePath, -1, {});
    // For instance ENOLCK on a file system without locks: nobody can be holding it either.
    return SingleInstanceLock(Status::Unavailable, lockFilePath, -1,
                              SystemError("cannot lock", lockFilePath, error));
}

SingleInstanceLock::SingleInstanceLock(Status status, std::string path, int fd, std::string error)
    : status_(status), path_(std::move(path)), fd_(fd), error_(std::move(error)) {}

SingleInstanceLock::SingleInstanceLock(SingleInstanceLock&& other) noexcept
    : status_(other.status_),
      path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      error_(std::move(other.error_)) {}

SingleInstanceLock& SingleInstanceLock::operator=(SingleInstanceLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        status_ = other.status_;
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        error_ = std::move(other.error_);
    }
    return *this;
}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace b6409
