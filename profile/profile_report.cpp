#include "profile/profile_report.h"

namespace b6409 {

namespace {

std::string JoinNames(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
    return out.empty() ? "nothing" : out;
}

}  // namespace

std::string StoppedLine(const std::string& run, const StepFailure& failure) {
    return run + " stopped at " + failure.step + ": " + failure.message;
}

std::vector<std::string> ApplyReportLines(const ApplyReport& report) {
    std::vector<std::string> lines = report.leftAlone;
    if (report.failure) {
        // Every step done and the failure in the read-back: the module may hold the profile, but
        // it was not shown to.
        lines.push_back(
            StoppedLine(report.notSet.empty() ? "reading back" : "apply", *report.failure));
        lines.push_back("set: " + JoinNames(report.set));
        lines.push_back("not set: " + JoinNames(report.notSet));
        return lines;
    }
    for (const SettingComparison& comparison : report.comparison)
        lines.push_back(ComparisonLine(comparison));
    return lines;
}

std::vector<std::string> DifferenceLines(const std::vector<SettingComparison>& comparisons) {
    std::vector<std::string> lines;
    for (const SettingComparison& comparison : comparisons)
        if (!comparison.same) lines.push_back(ComparisonLine(comparison));
    if (lines.empty()) lines.push_back("The module holds the profile.");
    return lines;
}

}  // namespace b6409
