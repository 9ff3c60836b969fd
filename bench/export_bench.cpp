// Export of a 10,000-row list as a workbook sheet of download frames, through the embedded
// spreadsheet driver: the SQL statements, the BIFF8 records and the compound file. The same
// cells are written by python3-xlwt in the same folder, its rounds alternating with ours so
// that both meet the machine in the same state; the ratio is the median of the rounds' ratios.
// Usage: bench_export [ROWS [FOLDER]]; the folder defaults to $TMPDIR or /tmp.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/counting_sink.h"
#include "files/workbook_export.h"

namespace {

constexpr int kRounds = 9;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// python3-xlwt in a process of its own (bench/xlwt_export.py) that writes the cells once for
// each line it is sent and answers with the milliseconds that took.
class XlwtWriter {
  public:
    XlwtWriter(const std::vector<std::vector<std::string>>& cells, const std::string& folder)
        : cellsPath_(folder + "/cells.tsv"), xlsPath_(folder + "/xlwt.xls") {
        std::ofstream out(cellsPath_);
        for (const auto& row : cells) {
            for (size_t c = 0; c < row.size(); ++c) out << (c ? "\t" : "") << row[c];
            out << '\n';
        }
        out.close();
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
            const char* python = getenv("B6409_PYTHON");
            if (!python) python = "/usr/bin/python3";
            const std::string script = B6409_BENCH_DIR "/xlwt_export.py";
            execl(python, python, script.c_str(), cellsPath_.c_str(), xlsPath_.c_str(), nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        // Without python3-xlwt the process ends at once; a request to it must not end ours.
        signal(SIGPIPE, SIG_IGN);
        requests_ = fdopen(toChild[1], "w");
        answers_ = fdopen(fromChild[0], "r");
    }
    ~XlwtWriter() {
        if (requests_) fclose(requests_);
        if (answers_) fclose(answers_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        unlink(cellsPath_.c_str());
        unlink(xlsPath_.c_str());
    }

    // One round's milliseconds, or a negative number when python3-xlwt cannot be run (not
    // installed: scripts/setup-deps.sh installs it).
    double Round() {
        double ms = -1;
        if (!requests_ || !answers_ || std::fputs("go\n", requests_) < 0 ||
            std::fflush(requests_) != 0 || std::fscanf(answers_, "%lf", &ms) != 1)
            return -1;
        return ms;
    }

  private:
    std::string cellsPath_, xlsPath_;
    pid_t pid_ = -1;
    FILE* requests_ = nullptr;
    FILE* answers_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace b6409;
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const char* tmp = getenv("TMPDIR");
    std::string folder = argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp");
    IdTable table;
    for (int i = 0; i < rows; ++i)
        table.AppendEntry({IdKind::Mid29To11, uint32_t(i) * 16, uint32_t(i) & 0x7FF});

    folder += "/b6409-bench-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;
    const std::string path = folder + "/frames.xls";
    auto cells = ExportFrameRows(IdListMode::Mapping, table, 1);
    cells.insert(cells.begin(), ExportHeader());
    bench::CountingSink sink("File Saved OK !!");
    std::vector<double> ours, theirs, ratios;
    bool ok = true;
    {
        XlwtWriter xlwt(cells, folder);
        for (int i = 0; i < kRounds; ++i) {
            const auto start = std::chrono::steady_clock::now();
            ok = ExportWorkbook(path, IdListMode::Mapping, table, 1, sink) && ok;
            ours.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            const double ms = xlwt.Round();
            if (ms < 0) continue;
            theirs.push_back(ms);
            ratios.push_back(ms / ours.back());
        }
    }
    unlink(path.c_str());
    rmdir(folder.c_str());

    char ratio[96] = "- (python3-xlwt not found)";
    if (!ratios.empty())
        std::snprintf(ratio, sizeof ratio, "%.1f x faster than python3-xlwt (%.1f ms)",
                      Median(ratios), Median(theirs));
    std::printf(".xls export, %d rows\t%d rows\t%.1f ms\t%s\t%s\n", rows, rows, Median(ours), ratio,
                ok ? "ok" : sink.last.c_str());
    return ok ? 0 : 1;
}
