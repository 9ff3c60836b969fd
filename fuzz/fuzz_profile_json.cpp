// The profile reader fed arbitrary text. Beyond staying inside the text and never throwing, it
// checks that a refusal names its fault, and that a document it accepts, written out again,
// reads back to the same profile: the written text reads, and writing that gives the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "profile/profile_json.h"

namespace {

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "profile document invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const b6409::ProfileReading reading = b6409::ReadProfileJson(text);
    if (!reading.profile) {
        Require(!reading.problem.empty(), "a refused document gave no reason");
        return 0;
    }
    const std::string written = b6409::WriteProfileJson(*reading.profile);
    const b6409::ProfileReading again = b6409::ReadProfileJson(written);
    Require(again.profile.has_value(), "a written profile does not read back");
    Require(b6409::WriteProfileJson(*again.profile) == written,
            "a written profile reads back to another profile");
    return 0;
}
