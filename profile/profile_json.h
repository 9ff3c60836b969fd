#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "files/atomic_write.h"
#include "profile/module_profile.h"

namespace b6409 {

// The profile as its document: keys always in the same order, 2-space indent, one list row
// per line so that a technician can edit and compare profiles by eye.
std::string WriteProfileJson(const ModuleProfile& profile);

// Reads a document strictly: every key known and present (firmware and saved time may be left
// out), every value of its type, every row of a form its list takes, every value one the module
// can hold. Otherwise the problem names the JSON path of the first fault, e.g.
// "ports[1].filter[3]: ...", and there is no profile.
struct ProfileReading {
    std::optional<ModuleProfile> profile;
    std::string problem;
};
ProfileReading ReadProfileJson(std::string_view text);

// The file's content read as above. A file that is no regular file or larger than any profile
// can be is refused without reading it whole.
ProfileReading ReadProfileFile(const std::string& path);

// Writes the document so that the file is either the old one or the whole new one.
AtomicWriteResult SaveProfileFile(const std::string& path, const ModuleProfile& profile);

}  // namespace b6409
