#pragma once

#include <string>

namespace b6409 {

// Marks that a copy of the program runs, under the program's name, for as long as the process
// lives. The mark is an exclusive flock() on a lock file: the kernel drops it however the
// process ends, crash and SIGKILL included, so no stale mark can keep a new copy out.
//
// Only a lock held by another open file counts as "another copy runs". The lock lives only in a
// directory that the user owns and nobody else may write to, so no other user can plant a lock
// file that keeps this user out, or make one copy miss another. When no such place can be found,
// the mark is Unavailable and the program must not start unguarded.
class SingleInstanceLock {
  public:
    enum class Status {
        Acquired,     // this process holds the mark now
        AlreadyHeld,  // another process holds it
        Unavailable,  // no mark could be taken; error() says why
    };

    // Takes the mark for `applicationName` in the first private directory of these:
    //   $XDG_RUNTIME_DIR                  <name>.lock (when absolute, as the XDG rules ask)
    //   /tmp/<name>-<uid>/                <name>.lock (made with mode 0700 when missing)
    //   $HOME/.cache/<name>/              <name>-<host>.lock (a home may be shared by machines)
    // A directory is private when it is a real directory (no link), owned by this user, closed
    // to group and others, and writable. Error() says why each was passed over when none is.
    static SingleInstanceLock Acquire(const std::string& applicationName);
    // Takes the mark on the given lock file, which is created when missing. A file there that
    // another user owns is not trusted: Unavailable.
    static SingleInstanceLock AcquireAt(const std::string& lockFilePath);

    // Whether the directory is private as above; otherwise *why says why not.
    static bool IsPrivateDirectory(const std::string& path, std::string* why);

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
