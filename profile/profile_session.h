#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/progress.h"
#include "link/device_link.h"
#include "link/link_settings.h"
#include "profile/module_profile.h"
#include "profile/profile_compare.h"
#include "protocol/command_kind.h"
#include "protocol/exchange_pacing.h"

namespace b6409 {

// What a profile run uses from the outside. The exchanges' own messages are not shown: the run
// keeps the message of a failed step for its report.
struct ProfileRunServices {
    LinkFactory& links;
    Clock& clock;
    ProgressSink& progress;  // one position per exchange step (a list counts as one)
    EventPump& pump;         // asked between steps and between list rows; 0 stops the run
    Pacing pacing = Pacing::Fixed;
};

// The step at which a run stopped, and the link's or the module's message.
struct StepFailure {
    std::string step;  // "port 2 mapping list", "bus-off time", ...
    CommandResult result = CommandResult::LinkFailed;
    std::string message;
};

// Reads every setting and both lists of both ports, and the firmware version, through the
// interface of the settings (their module port is ignored). No profile when a step failed.
struct ModuleReading {
    std::optional<ModuleProfile> profile;
    std::optional<StepFailure> failure;
};
ModuleReading ReadModuleProfile(const LinkSettings& settings, const ProfileRunServices& services);

// What an apply did and found.
struct ApplyReport {
    std::vector<std::string> set;        // the steps done, in order
    std::vector<std::string> notSet;     // the steps not done when one failed, the failed one first
    std::vector<std::string> leftAlone;  // what a profile cannot set (no bit rate record)
    std::optional<StepFailure> failure;  // of a setting step or of the read-back
    std::vector<SettingComparison> comparison;  // the read-back against the profile
    // Ok when every step was done and read back; then `matches` tells whether the module now
    // holds the profile.
    CommandResult result = CommandResult::Ok;
    bool matches = false;
};

// Sets the module to the profile in an order that never leaves a port passing what its lists
// should hold back once its options are on: both lists of each port first, then the bit rates,
// listen-only modes and the bus-off time, and a reset last when asked (the module takes some
// settings only at a restart). Then reads everything back and compares it with the profile.
ApplyReport ApplyProfile(const ModuleProfile& profile, const LinkSettings& settings,
                         bool resetAfter, const ProfileRunServices& services);

}  // namespace b6409
