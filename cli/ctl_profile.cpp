#include "cli/ctl_profile.h"

#include <string>

#include "cli/interrupt_pump.h"
#include "profile/profile_commands.h"

namespace b6409 {

namespace {

int ExitStatus(const ProfileOutcome& outcome) {
    switch (outcome.verdict) {
        case ProfileVerdict::Holds:
            return 0;
        case ProfileVerdict::Differs:
            return kExitDiffers;
        case ProfileVerdict::Refused:
            return kExitBadUsage;
        case ProfileVerdict::Failed:
        case ProfileVerdict::Stopped:
            break;
    }
    return static_cast<int>(outcome.result);
}

ProfileOutcome Run(const CtlInvocation& run, const ProfileRunServices& services) {
    const std::string& action = run.arguments[0];
    const std::string& path = run.arguments[1];
    if (action == "save") return RunProfileSave(path, run.settings, services);
    // Nothing goes to the module unless the whole document can.
    const ProfileDocument document = OpenProfileDocument(path);
    if (!document.profile) return document.refusal;
    if (action == "apply")
        return RunProfileApply(*document.profile, run.settings, run.resetAfter, services);
    return RunProfileCompare(*document.profile, run.settings, services);
}

}  // namespace

int RunProfileCommand(const CtlInvocation& run, LinkFactory& links, Clock& clock,
                      const CtlOutput& output) {
    NullProgress noProgress;
    InterruptPump pump;
    const ProfileRunServices services{links, clock, output.progress ? *output.progress : noProgress,
                                      pump, run.pacing};
    const ProfileOutcome outcome = Run(run, services);
    for (const std::string& line : outcome.lines) output.sink.Show(line, outcome.icon);
    return ExitStatus(outcome);
}

}  // namespace b6409
