// Save and load of a 10,000-row list data file, through the real file functions. Times are the
// median of the rounds; the first load, which also pays for the table's fresh memory, is shown
// beside it.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/counting_sink.h"
#include "files/data_file.h"

namespace {

// The milliseconds of each of `rounds` calls.
template <typename Call>
std::vector<double> Rounds(int rounds, Call call) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        call();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return times;
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    using namespace b6409;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = 21;
    IdTable table;
    for (int i = 0; i < rows; ++i)
        table.AppendEntry({IdKind::Gid29, uint32_t(i) * 16, uint32_t(i) * 16 + 15});

    char directory[] = "/tmp/b6409-bench-XXXXXX";
    if (!mkdtemp(directory)) return 1;
    const std::string path = std::string(directory) + "/list.dat";
    bench::CountingSink sink("File Saved OK !!");

    const auto saves = Rounds(rounds, [&] { SaveDataFile(path, IdListMode::Filter, table, sink); });
    IdTable loaded;
    const auto loads =
        Rounds(rounds, [&] { LoadDataFile(path, IdListMode::Filter, loaded, sink); });

    const bool ok = loaded.SameTexts(table);
    std::printf(".dat save, %d rows\t%d rows\t%.2f ms\t-\t%s\n", rows, rows, Median(saves),
                ok ? "ok" : "FAILED");
    std::printf(".dat load, %d rows\t%d rows\t%.2f ms (first load %.2f ms)\t-\t%s\n", rows, rows,
                Median(loads), loads.front(), ok ? "ok" : "FAILED");
    unlink(path.c_str());
    rmdir(directory);
    return ok ? 0 : 1;
}
