#pragma once

// b6409ctl and b6409-sim run as a user runs them: separate processes, found in B6409_BIN_DIR.
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"

extern char** environ;

namespace b6409::test {

inline std::string BinDir() {
    return B6409_BIN_DIR;
}

// The program's name followed by the words of `arguments` (split at blanks; no quoting).
inline std::vector<std::string> CommandLine(const std::string& program,
                                            const std::string& arguments) {
    std::vector<std::string> words{program};
    std::istringstream in(arguments);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// The environment of this process as it is now.
inline std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
    return entries;
}

// What a finished run of b6409ctl left: its exit status (-signal when a signal ended it, -1000
// when it would not end) and its stdout and stderr together.
struct Outcome {
    int status;
    std::string out;
};

// Starts b6409ctl in the background.
inline std::unique_ptr<ChildProcess> StartCtl(const std::string& arguments) {
    auto ctl = std::make_unique<ChildProcess>(
        BinDir() + "/b6409ctl", CommandLine("b6409ctl", arguments), CurrentEnvironment());
    ctl->CloseInput();
    return ctl;
}

// Waits for a b6409ctl started in the background to end.
inline Outcome Finish(ChildProcess& ctl) {
    std::string out = ctl.ReadAll();
    const int status = ctl.Wait();
    return {status, std::move(out)};
}

// Runs b6409ctl to its end.
inline Outcome RunCtl(const std::string& arguments) {
    return Finish(*StartCtl(arguments));
}

// b6409-sim with the given options. The first line it prints is the terminal's path; with
// --trace, one line per request follows.
class SimProcess {
  public:
    explicit SimProcess(const std::string& options)
        : process_(BinDir() + "/b6409-sim", CommandLine("b6409-sim", options),
                   CurrentEnvironment()) {
        std::string first = process_.WaitForLine("");
        // A simulator that cannot start says why instead.
        if (first.rfind("b6409-sim:", 0) != 0) path_ = std::move(first);
    }
    ~SimProcess() {
        process_.Signal(SIGTERM);
        process_.Wait();
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Empty when the simulator did not start.
    const std::string& path() const { return path_; }
    // The next line it prints; "" when its output ends or stays silent for long.
    std::string NextLine() { return process_.WaitForLine(""); }
    ChildProcess& process() { return process_; }

  private:
    ChildProcess process_;
    std::string path_;
};

}  // namespace b6409::test
