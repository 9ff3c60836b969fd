#pragma once

#include <string>

namespace b6409 {

// The icon a message box carries. Command outcomes carry none, refused edits and file errors
// the stop (error) icon, a saved file the information icon.
enum class MessageIcon { None, Stop, Information };

// Where every outcome the user sees goes: a modal box in the dialog, a line in the CLI,
// a recording in tests.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    virtual void Show(const std::string& text, MessageIcon icon) = 0;
};

}  // namespace b6409
