#pragma once

#include <string>
#include <vector>

#include "profile/module_profile.h"

namespace b6409 {

// One setting of the profile against what the module holds. A list that differs gives one
// comparison per differing row, so that a report names the rows, not just the list.
struct SettingComparison {
    std::string setting;  // "bus-off time", "port 2 mapping row 004", ...
    bool same = true;
    std::string profileHas;  // as the profile states it
    std::string moduleHas;   // as the module holds it
};

// Compares by what the module would hold, not by spelling: "0x1ff" and "0x1FF" are the same
// row, "125" and "125.0" the same bit rate. The firmware version and the saved time are not
// settings and are left out. A list that is the same gives one comparison for the whole list.
std::vector<SettingComparison> CompareProfiles(const ModuleProfile& wanted,
                                               const ModuleProfile& module);

bool AllSame(const std::vector<SettingComparison>& comparisons);

// "ok" or "differs: module has ..., profile has ..." after the setting's name.
std::string ComparisonLine(const SettingComparison& comparison);

}  // namespace b6409
