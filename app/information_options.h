#pragma once

#include <optional>
#include <ostream>

namespace b6409 {

// Answers --help and --version before the program opens a window, so that both work without a
// display and without taking the single-instance lock. Returns the exit status when it
// answered, nothing when the program should start as usual.
std::optional<int> AnswerInformationOptions(int argc, const char* const* argv, std::ostream& out);

}  // namespace b6409
