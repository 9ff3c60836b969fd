// Export of a 10,000-row list as a workbook sheet of download frames, through the embedded
// spreadsheet driver: the SQL statements, the BIFF8 records and the compound file.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/counting_sink.h"
#include "files/workbook_export.h"

int main(int argc, char** argv) {
    using namespace b6409;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = 5;
    IdTable table;
    for (int i = 0; i < rows; ++i)
        table.AppendEntry({IdKind::Mid29To11, uint32_t(i) * 16, uint32_t(i) & 0x7FF});

    char directory[] = "/tmp/b6409-bench-XXXXXX";
    if (!mkdtemp(directory)) return 1;
    const std::string path = std::string(directory) + "/frames.xls";
    bench::CountingSink sink("File Saved OK !!");
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    for (int i = 0; i < rounds; ++i)
        ok = ExportWorkbook(path, IdListMode::Mapping, table, 1, sink) && ok;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        rounds;
    std::printf(".xls export, %d rows\t%d rows\t%.1f ms\t-\t%s\n", rows, rows, ms,
                ok ? "ok" : sink.last.c_str());
    unlink(path.c_str());
    rmdir(directory);
    return ok ? 0 : 1;
}
