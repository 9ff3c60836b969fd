// Save and load of a 10,000-row list data file, through the real file functions.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/counting_sink.h"
#include "files/data_file.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace b6409;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = 20;
    IdTable table;
    for (int i = 0; i < rows; ++i)
        table.AppendEntry({IdKind::Gid29, uint32_t(i) * 16, uint32_t(i) * 16 + 15});

    char directory[] = "/tmp/b6409-bench-XXXXXX";
    if (!mkdtemp(directory)) return 1;
    const std::string path = std::string(directory) + "/list.dat";
    bench::CountingSink sink("File Saved OK !!");

    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) SaveDataFile(path, IdListMode::Filter, table, sink);
    const double saveMs = Milliseconds(start) / rounds;

    IdTable loaded;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) LoadDataFile(path, IdListMode::Filter, loaded, sink);
    const double loadMs = Milliseconds(start) / rounds;

    const bool ok = loaded.SameTexts(table);
    std::printf(".dat save, %d rows\t%d rows\t%.2f ms\t-\t%s\n", rows, rows, saveMs,
                ok ? "ok" : "FAILED");
    std::printf(".dat load, %d rows\t%d rows\t%.2f ms\t-\t%s\n", rows, rows, loadMs,
                ok ? "ok" : "FAILED");
    unlink(path.c_str());
    rmdir(directory);
    return ok ? 0 : 1;
}
