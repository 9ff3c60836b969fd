#pragma once

#include <cstdio>

#include "cli/ctl_options.h"
#include "common/clock.h"
#include "common/message_sink.h"
#include "common/progress.h"
#include "link/device_link.h"

namespace b6409 {

// Where a run's output goes: messages, list rows, and the download's progress (none when the
// error stream is no terminal).
struct CtlOutput {
    MessageSink& sink;
    std::FILE* rows;
    ProgressSink* progress = nullptr;
};

// Runs one parsed invocation; returns the exit status.
int RunCtl(const CtlInvocation& run, LinkFactory& links, Clock& clock, const CtlOutput& output);

// Prints each message as one line, exactly as the dialog shows it.
class StreamMessageSink final : public MessageSink {
  public:
    explicit StreamMessageSink(std::FILE* out) : out_(out) {}
    void Show(const std::string& text, MessageIcon icon) override;

  private:
    std::FILE* out_;
};

}  // namespace b6409
