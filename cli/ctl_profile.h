#pragma once

#include "cli/ctl_options.h"
#include "cli/ctl_runner.h"

namespace b6409 {

// Exit status of `profile diff`, and of `profile apply` when the module, read back, does not
// hold the profile: apart from the exchange's statuses, so that a script can tell a module that
// differs from one that could not be reached.
inline constexpr int kExitDiffers = 3;

// `profile save|apply|diff FILE.json`: returns the exit status.
int RunProfileCommand(const CtlInvocation& run, LinkFactory& links, Clock& clock,
                      const CtlOutput& output);

}  // namespace b6409
