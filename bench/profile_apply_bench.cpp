// `profile apply` with its read-back through the simulated SCV-1: a profile with two R-row lists
// (port 1's filter, port 2's mapping), against the pacing floor of all its exchanges x 100 ms.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/simulated_scv1.h"
#include "idtable/id_entry.h"
#include "profile/profile_session.h"

int main(int argc, char** argv) {
    using namespace b6409;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100;
    bench::SimulatedScv1 scv1;
    NullProgress progress;
    NullPump pump;

    ModuleProfile profile;
    profile.busOffSeconds = 30;
    profile.ports[0].userBaud = "125";
    profile.ports[1].userBaud = "83.333";
    profile.ports[0].listenOnly = true;
    for (int i = 0; i < rows; ++i) {
        profile.ports[0].filter.push_back(
            {"11-bit SID", FormatIdText({IdKind::Sid11, uint32_t(i)})});
        profile.ports[1].mapping.push_back(
            {"11>29-bit MID",
             FormatIdText({IdKind::Mid11To29, uint32_t(i), uint32_t(i + 0x1000)})});
    }

    const auto start = std::chrono::steady_clock::now();
    const ApplyReport report =
        ApplyProfile(profile, LinkSettings{}, false, {scv1.links(), scv1.clock(), progress, pump});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // Set: two downloads of begin, rows and end, two single-step empty lists, two bit rates,
    // two listen-only modes, the bus-off time. Read back: ten exchanges, a list read being one.
    const int exchanges = 2 * (rows + 2) + 2 + 2 + 2 + 1 + 10;
    const bool ok = report.result == CommandResult::Ok && report.matches;
    std::printf(
        "profile apply + verify, two %d-row lists, SCV-1 simulator\t%d exchanges\t%.3f s\t"
        "%.3f x floor\t%s\n",
        rows, exchanges, seconds, seconds / (exchanges * 0.1), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
