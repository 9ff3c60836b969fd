// A 100-row filter download through the simulated SCV-1: begin, 100 rows and end, 102 complete
// exchanges, against the pacing floor of 102 x 100 ms.
#include <chrono>

#include "bench/simulated_scv1.h"
#include "idtable/list_transfer.h"

int main(int argc, char** argv) {
    using namespace b6409;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100;
    bench::SimulatedScv1 scv1;
    bench::CountingSink sink("Set CAN1-ID Filter OK !");
    NullProgress progress;
    NullPump pump;

    IdTable table;
    for (int i = 0; i < rows; ++i)
        table.AppendEntry(
            {i % 2 ? IdKind::Gid29 : IdKind::Sid11, uint32_t(i), uint32_t(i + 0x100)});

    const auto start = std::chrono::steady_clock::now();
    DownloadList(IdListMode::Filter, table, LinkSettings{},
                 {{scv1.links(), sink, scv1.clock()}, progress, pump, {}});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const bool ok =
        sink.matches == 1 && scv1.module().Snapshot().ports[0].filter.size() == size_t(rows);
    const int exchanges = rows + 2;
    std::printf("%d-row filter download, SCV-1 simulator\t%d exchanges\t%.3f s\t%.3f x floor\t%s\n",
                rows, exchanges, seconds, seconds / (exchanges * 0.1), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
