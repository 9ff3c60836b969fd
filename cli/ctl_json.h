#pragma once

#include <cstdio>

#include "cli/ctl_options.h"
#include "common/clock.h"
#include "link/device_link.h"

namespace b6409 {

// `--json` with info, get-baud, get-busoff, get-listen-only and read: the same exchange, its
// outcome as one JSON object on the output for scripts: the command, the module port, the exit
// status, the messages as the dialog shows them, and on success the value read. A message's
// detail still goes to stderr. Returns the exit status.
int RunCtlJson(const CtlInvocation& run, LinkFactory& links, Clock& clock, std::FILE* out);

// Whether a command has a value to report that way.
bool TakesJson(const std::string& command);

}  // namespace b6409
