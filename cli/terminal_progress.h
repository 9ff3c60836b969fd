#pragma once

#include <cstdio>

#include "common/progress.h"

namespace b6409 {

// The download's progress as a one-line bar on a terminal, redrawn when the percentage changes.
class TerminalProgress final : public ProgressSink {
  public:
    explicit TerminalProgress(std::FILE* terminal) : out_(terminal) {}
    ~TerminalProgress() override { Finish(); }

    void SetColors(const ProgressColors&) override {}
    void SetShowText(bool) override {}
    void SetRange(int32_t lower, int32_t upper) override;
    void SetPos(int32_t position) override;
    // Ends the bar's line, if one was drawn.
    void Finish();

  private:
    std::FILE* out_;
    int32_t lower_ = 0;
    int32_t upper_ = 100;
    int shownPercent_ = -1;
};

}  // namespace b6409
