#include "app/single_instance.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace b6409 {

namespace {

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + strerror(error);
}

}  // namespace

bool SingleInstanceLock::IsPrivateDirectory(const std::string& path, std::string* why) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *why = SystemError("cannot open", path, errno);
        return false;
    }
    struct stat info {};
    const bool statted = fstat(fd, &info) == 0;
    const bool writable = statted && faccessat(fd, ".", W_OK, AT_EACCESS) == 0;
    close(fd);
    if (!statted || info.st_uid != geteuid()) {
        *why = path + " is not the user's own folder";
    } else if ((info.st_mode & 077) != 0) {
        *why = path + " is open to other users";
    } else if (!writable) {
        *why = path + " is not writable";
    } else {
        return true;
    }
    return false;
}

namespace {

// A place the lock may go: a directory, the lock file's name in it, and whether the directory
// is the program's own to make when it is missing (the runtime directory is the session's).
struct LockPlace {
    std::string directory;
    std::string file;
    bool makeWhenMissing;
};

std::vector<LockPlace> LockPlaces(const std::string& name) {
    std::vector<LockPlace> places;
    const char* runtimeDir = getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && runtimeDir[0] == '/') places.push_back({runtimeDir, name + ".lock", false});
    places.push_back({"/tmp/" + name + "-" + std::to_string(geteuid()), name + ".lock", true});
    const char* home = getenv("HOME");
    if (home && home[0] == '/') {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        places.push_back({std::string(home) + "/.cache/" + name,
                          name + "-" + std::string(host) + ".lock", true});
    }
    return places;
}

// Makes the directory and, if need be, its parent (the cache folder), both private.
void MakeDirectory(const std::string& directory) {
    if (mkdir(directory.c_str(), 0700) == 0 || errno != ENOENT) return;
    const std::string parent = directory.substr(0, directory.rfind('/'));
    if (mkdir(parent.c_str(), 0700) == 0) mkdir(directory.c_str(), 0700);
}

}  // namespace

SingleInstanceLock SingleInstanceLock::Acquire(const std::string& applicationName) {
    std::string reasons;
    std::string lastPath;
    for (const LockPlace& place : LockPlaces(applicationName)) {
        if (place.makeWhenMissing) MakeDirectory(place.directory);
        std::string why;
        lastPath = place.directory + "/" + place.file;
        if (IsPrivateDirectory(place.directory, &why)) {
            SingleInstanceLock lock = AcquireAt(lastPath);
            if (lock.status() != Status::Unavailable) return lock;
            why = lock.error();
        }
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    return SingleInstanceLock(Status::Unavailable, lastPath, -1, reasons);
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
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_uid != geteuid()) {
        close(fd);
        return SingleInstanceLock(Status::Unavailable, lockFilePath, -1,
                                  lockFilePath + " belongs to another user");
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return SingleInstanceLock(Status::Acquired, lockFilePath, fd, {});

    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return SingleInstanceLock(Status::AlreadyHeld, lockFilePath, -1, {});
    // For instance ENOLCK on a file system without locks.
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
