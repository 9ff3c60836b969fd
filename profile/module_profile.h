#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace b6409 {

// The version of the profile document this program writes and reads.
inline constexpr int kProfileFormat = 1;

// One list row as the table shows it: the type text and the ID text.
struct ProfileRow {
    std::string type;
    std::string id;
    bool operator==(const ProfileRow&) const = default;
};

// What the module keeps for one of its ports.
struct PortProfile {
    std::optional<std::string> userBaud;  // as typed in the dialog, e.g. "83.333"; none: no record
    bool listenOnly = false;
    std::vector<ProfileRow> filter;
    std::vector<ProfileRow> mapping;
};

// Everything a module keeps, as one document. The firmware version and the time of the save
// only tell the reader where the profile came from; applying and comparing ignore them.
struct ModuleProfile {
    unsigned busOffSeconds = 0;
    std::array<PortProfile, 2> ports;  // module port 1 and 2
    std::string firmware;              // "v1.05"; empty when not known
    std::string savedAt;               // UTC, "2026-12-08T07:30:00Z"; empty when not known
};

}  // namespace b6409
