#include "profile/profile_commands.h"

#include <ctime>

#include "files/atomic_write.h"
#include "profile/profile_json.h"
#include "profile/profile_report.h"

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

ProfileOutcome Refused(std::string line) {
    return {ProfileVerdict::Refused, CommandResult::Ok, MessageIcon::Stop, {std::move(line)}};
}

// A run that ended at a step: stopped by the user, or failed with the step's status.
ProfileOutcome EndedAt(const StepFailure& failure, std::vector<std::string> lines) {
    const ProfileVerdict verdict =
        failure.result == CommandResult::Stopped ? ProfileVerdict::Stopped : ProfileVerdict::Failed;
    return {verdict, failure.result, MessageIcon::None, std::move(lines)};
}

ProfileOutcome ReadingStopped(const StepFailure& failure) {
    return EndedAt(failure, {StoppedLine("reading the module", failure)});
}

}  // namespace

ProfileDocument OpenProfileDocument(const std::string& path) {
    ProfileReading reading = ReadProfileFile(path);
    if (!reading.profile) return {std::nullopt, Refused(reading.problem + ". Nothing was sent.")};
    return {std::move(reading.profile), {}};
}

ProfileOutcome RunProfileSave(const std::string& path, const LinkSettings& settings,
                              const ProfileRunServices& services) {
    // A file that cannot be replaced is named before the module is read for nothing.
    SaveTarget target;
    if (const AtomicWriteResult check = ResolveSaveTarget(path, &target);
        check != AtomicWriteResult::Ok)
        return Refused(FileFailureText(check, path));
    ModuleReading reading = ReadModuleProfile(settings, services);
    if (!reading.profile) return ReadingStopped(*reading.failure);
    reading.profile->savedAt = UtcNow();
    if (const AtomicWriteResult saved = SaveProfileFile(path, *reading.profile);
        saved != AtomicWriteResult::Ok)
        return Refused(FileFailureText(saved, path));
    return {
        ProfileVerdict::Holds,
        CommandResult::Ok,
        MessageIcon::Information,
        {"Profile of the module (firmware " + reading.profile->firmware + ") saved to " + path}};
}

ProfileOutcome RunProfileApply(const ModuleProfile& profile, const LinkSettings& settings,
                               bool resetAfter, const ProfileRunServices& services) {
    const ApplyReport report = ApplyProfile(profile, settings, resetAfter, services);
    std::vector<std::string> lines = ApplyReportLines(report);
    if (report.failure) return EndedAt(*report.failure, std::move(lines));
    return {report.matches ? ProfileVerdict::Holds : ProfileVerdict::Differs, CommandResult::Ok,
            MessageIcon::None, std::move(lines)};
}

ProfileOutcome RunProfileCompare(const ModuleProfile& profile, const LinkSettings& settings,
                                 const ProfileRunServices& services) {
    const ModuleReading reading = ReadModuleProfile(settings, services);
    if (!reading.profile) return ReadingStopped(*reading.failure);
    const std::vector<SettingComparison> comparisons = CompareProfiles(profile, *reading.profile);
    return {AllSame(comparisons) ? ProfileVerdict::Holds : ProfileVerdict::Differs,
            CommandResult::Ok, MessageIcon::None, DifferenceLines(comparisons)};
}

}  // namespace b6409
