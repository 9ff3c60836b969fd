#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace b6409::test {

// Checks `done` again and again until it holds; false when it still does not after a generous
// while.
inline bool WaitUntil(const std::function<bool()>& done) {
    for (int round = 0; round < 2000; ++round) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// A program run as a separate process, with its stdin on a pipe and its stdout and stderr
// together on another. Waiting gives up after a generous while, so that a fault fails a test
// instead of hanging it; nothing here measures time.
class ChildProcess {
  public:
    // Runs `program` with `arguments` (arguments[0] is what the program sees as its name) and
    // `environment` as its whole environment.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment) {
        int input[2];
        int output[2];
        if (pipe2(input, O_CLOEXEC) != 0) return;
        if (pipe2(output, O_CLOEXEC) != 0) {
            close(input[0]);
            close(input[1]);
            return;
        }
        // Everything the child needs is made before fork(), which leaves only async-signal-safe
        // calls for the child.
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : environment)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);

        pid_ = fork();
        if (pid_ == 0) {
            dup2(input[0], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            dup2(output[1], STDERR_FILENO);
            execve(program.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        close(input[0]);
        close(output[1]);
        input_ = input[1];
        output_ = output[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            Wait();
        }
        CloseInput();
        if (output_ >= 0) close(output_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Reads output until a line starting with `prefix` arrives; returns that line without its
    // end, or "" when the output ends or nothing comes for a long while.
    std::string WaitForLine(const std::string& prefix) {
        for (;;) {
            const size_t end = buffered_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                seen_ += line + "\n";
                if (line.rfind(prefix, 0) == 0) return line;
                continue;
            }
            if (!ReadMore()) return "";
        }
    }
    // Everything the program writes until it closes its output; the lines already returned by
    // WaitForLine are included.
    std::string ReadAll() {
        while (ReadMore()) {
        }
        seen_ += buffered_;
        buffered_.clear();
        return seen_;
    }

    // Whether the process has not ended yet; does not wait.
    bool Running() {
        if (pid_ <= 0 || ended_) return false;
        return !Reap(WNOHANG);
    }
    // Waits for the end: the exit status, or -signal for a process a signal ended, or -1000
    // when it would not end (it is then killed).
    int Wait() {
        if (pid_ <= 0) return -1000;
        for (int round = 0; !ended_ && round < 2000; ++round) {
            if (!Reap(WNOHANG)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!ended_) {
            kill(pid_, SIGKILL);
            Reap(0);
            return -1000;
        }
        return status_;
    }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    void Signal(int signal) {
        if (pid_ > 0 && !ended_) kill(pid_, signal);
    }

  private:
    bool ReadMore() {
        if (output_ < 0) return false;
        pollfd ready = {output_, POLLIN, 0};
        if (poll(&ready, 1, 20000) <= 0) return false;
        char chunk[512];
        const ssize_t count = read(output_, chunk, sizeof chunk);
        if (count <= 0) return false;
        buffered_.append(chunk, size_t(count));
        return true;
    }
    bool Reap(int options) {
        int status = 0;
        if (waitpid(pid_, &status, options) != pid_) return false;
        ended_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return true;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string buffered_;
    std::string seen_;
};

}  // namespace b6409::test
