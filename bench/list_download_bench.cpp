// A filter download through the simulated SCV-1: begin, the rows and end, each a complete
// exchange, once with fixed pacing and once with reply pacing, both against the fixed pacing's
// floor of (rows + 2) x 100 ms. With a path, the list is also written there as a list file, for
// the peer comparison of bench/run.sh.
#include <chrono>

#include "bench/simulated_scv1.h"
#include "files/data_file.h"
#include "idtable/list_transfer.h"

namespace {

using namespace b6409;

// Seconds taken, or a negative value when the module did not end up with the whole list.
double TimedDownload(bench::SimulatedScv1& scv1, const IdTable& table, Pacing pacing) {
    bench::CountingSink sink("Set CAN1-ID Filter OK !");
    NullProgress progress;
    NullPump pump;
    scv1.module().SetState({});
    const auto start = std::chrono::steady_clock::now();
    DownloadList(IdListMode::Filter, table, LinkSettings{},
                 {{scv1.links(), sink, scv1.clock(), pacing}, progress, pump, {}});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool whole =
        sink.matches == 1 && scv1.module().Snapshot().ports[0].filter.size() == table.RowCount();
    return whole ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100;
    bench::SimulatedScv1 scv1;

    IdTable table;
    for (int i = 0; i < rows; ++i)
        table.AppendEntry(
            {i % 2 ? IdKind::Gid29 : IdKind::Sid11, uint32_t(i), uint32_t(i + 0x100)});
    if (argc > 2) {
        bench::CountingSink sink("");
        if (!SaveDataFile(argv[2], IdListMode::Filter, table, sink)) {
            std::fprintf(stderr, "%s\n", sink.last.c_str());
            return 1;
        }
    }

    const int exchanges = rows + 2;
    const double floor = exchanges * kWaitAfterSendMs / 1000.0;
    bool ok = true;
    for (const auto& [pacing, name] :
         {std::pair{Pacing::Fixed, "fixed"}, {Pacing::Reply, "reply"}}) {
        const double seconds = TimedDownload(scv1, table, pacing);
        ok = ok && seconds >= 0;
        std::printf(
            "%d-row filter download, %s pacing, SCV-1 simulator\t%d exchanges\t%.3f s\t%.3f x "
            "fixed floor\t%s\n",
            rows, name, exchanges, seconds, seconds / floor, seconds >= 0 ? "ok" : "FAILED");
    }
    return ok ? 0 : 1;
}
