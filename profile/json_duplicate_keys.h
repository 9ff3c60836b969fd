#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace b6409 {

// The path (e.g. "ports[1].listenOnly") of the first key that appears a second time in its
// object; none when every object's keys are distinct or the text is no JSON. A JSON reader
// keeps one of the two values without a word, so a document that says a thing twice is
// ambiguous to the person who wrote it.
std::optional<std::string> FirstDuplicateKey(std::string_view text);

}  // namespace b6409
