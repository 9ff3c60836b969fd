#pragma once

#include <string>
#include <vector>

#include "profile/profile_compare.h"
#include "profile/profile_session.h"

namespace b6409 {

// The lines a user reads after a profile run, the same in the command line and the window.

// "<run> stopped at <step>: <message>", e.g. "apply stopped at port 1 listen-only: ErrMsg= ...".
std::string StoppedLine(const std::string& run, const StepFailure& failure);

// After an apply: the settings the profile left alone, then either where it stopped with what
// was set and what was not, or one line per setting ("ok" / "differs: module has ...").
std::vector<std::string> ApplyReportLines(const ApplyReport& report);

// After a comparison: the settings that differ, or one line saying the module holds the profile.
std::vector<std::string> DifferenceLines(const std::vector<SettingComparison>& comparisons);

}  // namespace b6409
