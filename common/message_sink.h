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
    // The text together with what was tried and the system's reason ("SocketCAN interface can0:
    // No such device"), kept apart so that the text stays exactly as users know it. The box
    // shows the detail under the text, the CLI on stderr; a sink without a place for it shows
    // the text alone.
    virtual void ShowWithDetail(const std::string& text, MessageIcon icon,
                                const std::string& /*detail*/) {
        Show(text, icon);
    }
};

}  // namespace b6409
