#pragma once

#include <cstdio>

#include "common/message_sink.h"
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

// Ends the bar's line before each message, so that the message starts a line of its own.
class AfterProgressSink final : public MessageSink {
  public:
    AfterProgressSink(MessageSink& messages, TerminalProgress& progress)
        : messages_(messages), progress_(progress) {}
    void Show(const std::string& text, MessageIcon icon) override {
        progress_.Finish();
        messages_.Show(text, icon);
    }
    void ShowWithDetail(const std::string& text, MessageIcon icon,
                        const std::string& detail) override {
        progress_.Finish();
        messages_.ShowWithDetail(text, icon, detail);
    }

  private:
    MessageSink& messages_;
    TerminalProgress& progress_;
};

}  // namespace b6409
