#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/message_sink.h"
#include "link/link_settings.h"
#include "profile/module_profile.h"
#include "profile/profile_session.h"
#include "protocol/command_kind.h"

namespace b6409 {

// The three profile commands as the command line and the window both run them: each returns
// the lines the user reads, the icon of the box that shows them, and a verdict from which a
// caller takes its own status.

// What a profile command came to.
enum class ProfileVerdict {
    Holds,  // the module holds the profile (apply, compare), or the file holds the module's (save)
    Differs,  // the module, read in whole, does not hold the profile
    Failed,   // an exchange failed; `result` is its status
    Refused,  // the profile file could not be read or written; the module was not changed
    Stopped,  // the user stopped the run between two steps
};

struct ProfileOutcome {
    ProfileVerdict verdict = ProfileVerdict::Holds;
    CommandResult result = CommandResult::Ok;  // of the failed step when Failed or Stopped
    MessageIcon icon = MessageIcon::None;
    std::vector<std::string> lines;
};

// The document of an apply or a comparison, read whole before anything is sent; or, when it
// cannot be, the refusal naming its fault.
struct ProfileDocument {
    std::optional<ModuleProfile> profile;
    ProfileOutcome refusal;
};
ProfileDocument OpenProfileDocument(const std::string& path);

// Reads the whole module and writes its profile to `path`, stamped with the time now. A file
// that could not be replaced is named before the module is read.
ProfileOutcome RunProfileSave(const std::string& path, const LinkSettings& settings,
                              const ProfileRunServices& services);

// Sets the module to the profile, resets it when asked, and reads it back.
ProfileOutcome RunProfileApply(const ModuleProfile& profile, const LinkSettings& settings,
                               bool resetAfter, const ProfileRunServices& services);

// Reads the whole module and names what differs from the profile.
ProfileOutcome RunProfileCompare(const ModuleProfile& profile, const LinkSettings& settings,
                                 const ProfileRunServices& services);

}  // namespace b6409
