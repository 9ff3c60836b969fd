#pragma once

#include <cstdio>

#include "cli/ctl_options.h"
#include "common/clock.h"
#include "common/message_sink.h"
#include "link/device_link.h"

namespace b6409 {

// Runs one parsed invocation through the exchange; returns the exit status.
int RunCtl(const CtlInvocation& run, LinkFactory& links, MessageSink& sink, Clock& clock);

// Prints each message as one line, exactly as the dialog shows it.
class StreamMessageSink final : public MessageSink {
  public:
    explicit StreamMessageSink(std::FILE* out) : out_(out) {}
    void Show(const std::string& text, MessageIcon icon) override;

  private:
    std::FILE* out_;
};

}  // namespace b6409
