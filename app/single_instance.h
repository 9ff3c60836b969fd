#pragma once

#include <string>

namespace b6409 {

// Marks that a copy of the program runs, under the program's name, for as long as the process
// lives. The mark is an exclusive flock() on a lock file: the kernel drops it however the
// process ends, crash and SIGKILL included, so no stale mark can keep a new copy out.
//
// Only a lock held by another open file counts as "another copy runs". When the lock file
// cannot be made or opened at all, the caller is told so and should start as if it were alone:
// a missing runtime directory must not keep the user from the program.
class SingleInstanceLock {
  public:
    enum class Status {
        Acquired,     // this process holds the mark now
        AlreadyHeld,  // another process holds it
        Unavailable,  // no mark could be taken; error() says why
    };

    // Takes the mark for `applicationName` at LockFilePath(applicationName).
    static SingleInstanceLock Acquire(const std::string& applicationName);
    // Takes the mark on the given lock file, which is created when missing.
    static SingleInstanceLock AcquireAt(const std::string& lockFilePath);

    // $XDG_RUNTIME_DIR/<name>.lock, or /tmp/<name>-<uid>.lock when the runtime directory is not
    // set (or not an absolute path, which the XDG rules say to ignore). The uid keeps users of
    // a shared /tmp apart, as the runtime directory does by being per user.
    static std::string LockFilePath(const std::string& applicationName);

    SingleInstanceLock(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;
    // Closing the file drops the mark; the program keeps its lock until it exits.
    ~SingleInstanceLock();

    Status status() const { return status_; }
    bool AnotherCopyRuns() const { return status_ == Status::AlreadyHeld; }
    const std::string& path() const { return path_; }
    // Why the mark was Unavailable; empty otherwise.
    const std::string& error() const { return error_; }

  private:
    SingleInstanceLock(Status status, std::string path, int fd, std::string error);

    Status status_;
    std::string path_;
    int fd_;
    std::string error_;
};

}  // namespace b6409
