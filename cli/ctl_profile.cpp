#include "cli/ctl_profile.h"

#include <ctime>
#include <string>
#include <vector>

#include "cli/interrupt_pump.h"
#include "files/atomic_write.h"
#include "profile/profile_json.h"
#include "profile/profile_report.h"
#include "profile/profile_session.h"

namespace b6409 {

namespace {

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void ShowLines(const std::vector<std::string>& lines, MessageSink& sink) {
    for (const std::string& line : lines) sink.Show(line, MessageIcon::None);
}

int Save(const CtlInvocation& run, const ProfileRunServices& services, MessageSink& sink) {
    const std::string& path = run.arguments[1];
    // A file that cannot be replaced is named before the module is read for nothing.
    SaveTarget target;
    if (const AtomicWriteResult check = ResolveSaveTarget(path, &target);
        check != AtomicWriteResult::Ok) {
        sink.Show(FileFailureText(check, path), MessageIcon::Stop);
        return kExitBadUsage;
    }
    ModuleReading reading = ReadModuleProfile(run.settings, services);
    if (!reading.profile) {
        sink.Show(StoppedLine("reading the module", *reading.failure), MessageIcon::Stop);
        return static_cast<int>(reading.failure->result);
    }
    reading.profile->savedAt = UtcNow();
    if (const AtomicWriteResult saved = SaveProfileFile(path, *reading.profile);
        saved != AtomicWriteResult::Ok) {
        sink.Show(FileFailureText(saved, path), MessageIcon::Stop);
        return kExitBadUsage;
    }
    sink.Show("Profile of the module (firmware " + reading.profile->firmware + ") saved to " + path,
              MessageIcon::Information);
    return 0;
}

int Apply(const CtlInvocation& run, const ModuleProfile& profile,
          const ProfileRunServices& services, MessageSink& sink) {
    const ApplyReport report = ApplyProfile(profile, run.settings, run.resetAfter, services);
    ShowLines(ApplyReportLines(report), sink);
    if (report.failure) return static_cast<int>(report.result);
    return report.matches ? 0 : kExitDiffers;
}

int Diff(const CtlInvocation& run, const ModuleProfile& profile, const ProfileRunServices& services,
         MessageSink& sink) {
    const ModuleReading reading = ReadModuleProfile(run.settings, services);
    if (!reading.profile) {
        sink.Show(StoppedLine("reading the module", *reading.failure), MessageIcon::Stop);
        return static_cast<int>(reading.failure->result);
    }
    const std::vector<SettingComparison> comparisons = CompareProfiles(profile, *reading.profile);
    ShowLines(DifferenceLines(comparisons), sink);
    return AllSame(comparisons) ? 0 : kExitDiffers;
}

}  // namespace

int RunProfileCommand(const CtlInvocation& run, LinkFactory& links, Clock& clock,
                      const CtlOutput& output) {
    NullProgress noProgress;
    InterruptPump pump;
    const ProfileRunServices services{links, clock, output.progress ? *output.progress : noProgress,
                                      pump, run.pacing};
    const std::string& action = run.arguments[0];
    if (action == "save") return Save(run, services, output.sink);

    // Nothing goes to the module unless the whole document can.
    const ProfileReading reading = ReadProfileFile(run.arguments[1]);
    if (!reading.profile) {
        output.sink.Show(reading.problem + ". Nothing was sent.", MessageIcon::Stop);
        return kExitBadUsage;
    }
    if (action == "apply") return Apply(run, *reading.profile, services, output.sink);
    return Diff(run, *reading.profile, services, output.sink);
}

}  // namespace b6409
