#include "cli/terminal_progress.h"

#include <string>

namespace b6409 {

void TerminalProgress::SetRange(int32_t lower, int32_t upper) {
    lower_ = lower;
    upper_ = upper;
    SetPos(lower);
}

void TerminalProgress::SetPos(int32_t position) {
    if (upper_ <= lower_) return;
    // The last position of a download is one short of the end: count it as done.
    const int64_t done = int64_t(position) - lower_ + 1;
    const int percent = int(done * 100 / (int64_t(upper_) - lower_));
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(out_, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent);
    std::fflush(out_);
}

void TerminalProgress::Finish() {
    if (shownPercent_ < 0) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    shownPercent_ = -1;
}

}  // namespace b6409
