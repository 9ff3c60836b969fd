#pragma once

// Runs a piece of a test in a forked child, for what the test process itself must not do or
// suffer: act as another user, write under a file size limit (a full disk that needs no mount),
// read under a memory limit, or hang on a FIFO.
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

// A sanitizer reserves address space of its own that a memory limit would take away.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define B6409_SANITIZED_BUILD
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define B6409_SANITIZED_BUILD
#endif
#endif

namespace b6409::test {

struct ChildLimits {
    bool asNobody = false;  // as the user "nobody" when run by root; as ourselves otherwise
    rlim_t fileSize = RLIM_INFINITY;  // bytes any file may reach: writes beyond fail
    rlim_t memory = RLIM_INFINITY;    // address space, where no sanitizer needs its own
};

// The user files are given to when root tests what another user sees; ourselves otherwise.
inline uid_t OtherUser() {
    const passwd* nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    return nobody ? nobody->pw_uid : geteuid();
}
inline gid_t OtherGroup() {
    const passwd* nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    return nobody ? nobody->pw_gid : getegid();
}

// What the body returned, or "<hung>" when the child gave no answer for a generous while (it
// is then killed), or "<died>" when it ended without one.
inline std::string RunInChild(const std::function<std::string()>& body, ChildLimits limits = {}) {
    int answer[2];
    if (pipe(answer) != 0) return "<no pipe>";
    const uid_t user = OtherUser();
    const gid_t group = OtherGroup();
    const pid_t pid = fork();
    if (pid == 0) {
        close(answer[0]);
        signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limits.fileSize, limits.fileSize};
        setrlimit(RLIMIT_FSIZE, &size);
#ifndef B6409_SANITIZED_BUILD
        const rlimit memory{limits.memory, limits.memory};
        setrlimit(RLIMIT_AS, &memory);
#endif
        if (limits.asNobody && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0))
            _exit(1);
        // Nothing may leave the body: the child would go on running the test program's tests.
        try {
            const std::string text = body();
            const ssize_t written = write(answer[1], text.data(), text.size());
            _exit(written == ssize_t(text.size()) ? 0 : 1);
        } catch (...) {
            _exit(1);
        }
    }
    close(answer[1]);
    std::string text;
    bool answered = false;
    for (;;) {
        pollfd ready{answer[0], POLLIN, 0};
        if (poll(&ready, 1, 20000) <= 0) break;
        char chunk[512];
        const ssize_t n = read(answer[0], chunk, sizeof chunk);
        if (n <= 0) {
            answered = n == 0;
            break;
        }
        text.append(chunk, size_t(n));
    }
    close(answer[0]);
    if (!answered) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!answered) return "<hung>";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "<died>";
}

}  // namespace b6409::test
