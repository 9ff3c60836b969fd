#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "common/message_sink.h"

namespace b6409 {

// Every outcome as a modal message box with an OK button over the window, captioned with the
// application's name; a detail shows as the box's informative text under the message. The box
// is wide enough for its caption, and its labels tall enough for the dialog font's underscores.
class MessageBoxSink final : public MessageSink {
  public:
    explicit MessageBoxSink(QWidget* owner) : owner_(owner) {}
    void Show(const std::string& text, MessageIcon icon) override;
    void ShowWithDetail(const std::string& text, MessageIcon icon,
                        const std::string& detail) override;

  private:
    QWidget* owner_;
};

// A question in a box like the outcome boxes, with Yes, No and Cancel; No is the default, so
// Enter does the least, and Escape cancels. Yes or No, or none when cancelled.
std::optional<bool> AskYesNoCancel(QWidget* owner, const std::string& question,
                                   const std::string& detail);

}  // namespace b6409
