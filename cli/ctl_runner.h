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

// Prints each message as one line, exactly as the dialog shows it; a message's detail goes as
// a line of its own to the details stream ("b6409ctl: SocketCAN interface can0: No such
// device"), so that what scripts read from the messages stays as it is.
class StreamMessageSink final : public MessageSink {
  public:
    explicit StreamMessageSink(std::FILE* out, std::FILE* details = stderr)
        : out_(out), details_(details) {}
    void Show(const std::string& text, MessageIcon icon) override;
    void ShowWithDetail(const std::string& text, MessageIcon icon,
                        const std::string& detail) override;

  private:
    std::FILE* out_;
    std::FILE* details_;
};

}  // namespace b6409
