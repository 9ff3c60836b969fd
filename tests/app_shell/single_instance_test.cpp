// The single-instance lock across processes: who is refused, and when a lock is not a refusal.
#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

extern char** environ;

namespace b6409 {
namespace {

using Status = SingleInstanceLock::Status;

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A forked process that takes the lock and then waits to be killed; it reports the outcome of
// its attempt through a pipe.
class LockHolder {
  public:
    explicit LockHolder(const std::string& lockPath) {
        int report[2];
        if (pipe(report) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(report[0]);
            const SingleInstanceLock lock = SingleInstanceLock::AcquireAt(lockPath);
            const char outcome = static_cast<char>(lock.status());
            if (write(report[1], &outcome, 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(report[1]);
        char outcome = -1;
        if (read(report[0], &outcome, 1) == 1) status_ = static_cast<Status>(outcome);
        close(report[0]);
    }
    ~LockHolder() { KillHard(); }

    std::optional<Status> status() const { return status_; }
    void KillHard() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    std::optional<Status> status_;
};

TEST(SingleInstanceLock, LockHeldByAnotherProcessRefusesUntilThatProcessIsKilled) {
    test::TempDir dir;
    const std::string path = dir / "B6409_Utility.lock";

    LockHolder first(path);
    ASSERT_EQ(first.status(), Status::Acquired);

    {
        const SingleInstanceLock second = SingleInstanceLock::AcquireAt(path);
        EXPECT_EQ(second.status(), Status::AlreadyHeld);
        EXPECT_TRUE(second.AnotherCopyRuns());
        EXPECT_TRUE(second.error().empty());
    }

    // No clean-up runs in a killed process; the kernel's release is what lets the next copy in.
    first.KillHard();
    const SingleInstanceLock third = SingleInstanceLock::AcquireAt(path);
    EXPECT_EQ(third.status(), Status::Acquired);
    EXPECT_FALSE(third.AnotherCopyRuns());

    // And now the roles are swapped: a new process is refused while this one holds the lock.
    LockHolder fourth(path);
    EXPECT_EQ(fourth.status(), Status::AlreadyHeld);
}

// Whether the process runs `program` and sleeps: its exec has then finished.
bool IsAsleepIn(pid_t pid, const std::string& program) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size()) {
        return false;
    }
    return stat.substr(open + 1, close - open - 1) == program && stat[close + 2] == 'S';
}

TEST(SingleInstanceLock, HeldForTheLifeOfTheObjectAndNotPassedToStartedPrograms) {
    test::TempDir dir;
    const std::string path = dir / "B6409_Utility.lock";

    std::optional<SingleInstanceLock> lock = SingleInstanceLock::AcquireAt(path);
    ASSERT_EQ(lock->status(), Status::Acquired);
    // A moved-from lock must not release the mark behind its new owner's back.
    SingleInstanceLock moved = std::move(*lock);
    lock.reset();
    EXPECT_EQ(SingleInstanceLock::AcquireAt(path).status(), Status::AlreadyHeld);

    // A program started while the lock is held outlives it here; had it inherited the lock
    // file, it would go on holding the lock after this copy ended. The kernel closes inherited
    // files only towards the end of exec, after the starting process has gone on, so the check
    // waits until the program is up and asleep.
    pid_t sleeper = -1;
    char sleep[] = "sleep";
    char seconds[] = "300";
    char* arguments[] = {sleep, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&sleeper, "sleep", nullptr, nullptr, arguments, environ), 0);
    EXPECT_TRUE(test::WaitUntil([&] { return IsAsleepIn(sleeper, "sleep"); }));
    moved = SingleInstanceLock::AcquireAt(dir / "other.lock");

    EXPECT_EQ(SingleInstanceLock::AcquireAt(path).status(), Status::Acquired);
    kill(sleeper, SIGKILL);
    waitpid(sleeper, nullptr, 0);
}

TEST(SingleInstanceLock, ALockThatCannotBeMadeOrIsSomeoneElsesIsUnavailable) {
    test::TempDir dir;
    test::TempDir::WriteBytes(dir / "not-a-directory", {'x'});
    std::filesystem::create_directory(dir / "a-directory.lock");
    std::filesystem::create_symlink(dir / "elsewhere", dir / "planted.lock");
    std::vector<std::string> paths = {dir / "missing/B6409_Utility.lock",
                                      dir / "not-a-directory/B6409_Utility.lock",
                                      dir / "a-directory.lock", dir / "planted.lock"};
    test::TempDir::WriteBytes(dir / "foreign.lock", {});
    if (chown((dir / "foreign.lock").c_str(), 65534, 65534) == 0)
        paths.push_back(dir / "foreign.lock");

    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const SingleInstanceLock lock = SingleInstanceLock::AcquireAt(path);
        EXPECT_EQ(lock.status(), Status::Unavailable);
        EXPECT_FALSE(lock.AnotherCopyRuns());
        EXPECT_NE(lock.error().find(path), std::string::npos) << lock.error();
    }
    // A symbolic link in the lock's place is not followed to create its target.
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
}

// Every copy of one user must arrive at the same file, in a place no other user can write to.
TEST(SingleInstanceLock, TheLockGoesToTheFirstFolderOfTheUsersOwn) {
    test::TempDir dir;
    const std::string name = "b6409-lock-test-" + std::to_string(getpid());
    const std::string tmpFolder = "/tmp/" + name + "-" + std::to_string(geteuid());
    std::filesystem::create_directory(dir / "runtime");
    std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
    ScopedEnvironment home("HOME", (dir / "home").c_str());
    std::filesystem::create_directory(dir / "home");

    {
        ScopedEnvironment runtime("XDG_RUNTIME_DIR", (dir / "runtime").c_str());
        EXPECT_EQ(SingleInstanceLock::Acquire(name).path(), dir / "runtime/" + name + ".lock");
    }
    // Missing, relative, or open to others: the user's own folder in /tmp, made private.
    std::filesystem::create_directory(dir / "open");
    std::filesystem::permissions(dir / "open", std::filesystem::perms::all);
    for (const std::string& runtimeDir : {dir / "missing", std::string("run"), dir / "open"}) {
        ScopedEnvironment runtime("XDG_RUNTIME_DIR", runtimeDir.c_str());
        const SingleInstanceLock lock = SingleInstanceLock::Acquire(name);
        EXPECT_EQ(lock.status(), Status::Acquired) << lock.error();
        EXPECT_EQ(lock.path(), tmpFolder + "/" + name + ".lock");
    }
    struct stat folder {};
    ASSERT_EQ(stat(tmpFolder.c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    // Another user's folder under that name in /tmp is passed over for one in the home.
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", nullptr);
    if (chown(tmpFolder.c_str(), 65534, 65534) == 0) {
        const SingleInstanceLock lock = SingleInstanceLock::Acquire(name);
        EXPECT_EQ(lock.status(), Status::Acquired) << lock.error();
        EXPECT_EQ(lock.path().rfind(dir / "home/.cache/" + name + "/" + name + "-", 0), 0u)
            << lock.path();
        // With no home either, the program is told that it would run unguarded, and why.
        ScopedEnvironment noHome("HOME", nullptr);
        const SingleInstanceLock none = SingleInstanceLock::Acquire(name);
        EXPECT_EQ(none.status(), Status::Unavailable);
        EXPECT_NE(none.error().find(tmpFolder + " is not the user's own folder"), std::string::npos)
            << none.error();
    }
    std::filesystem::remove_all(tmpFolder);
}

}  // namespace
}  // namespace b6409
