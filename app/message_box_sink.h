#pragma once

#include <QWidget>

#include "common/message_sink.h"

namespace b6409 {

// Every outcome as a modal message box with an OK button over the window.
class MessageBoxSink final : public MessageSink {
  public:
    explicit MessageBoxSink(QWidget* owner) : owner_(owner) {}
    void Show(const std::string& text, MessageIcon icon) override;

  private:
    QWidget* owner_;
};

}  // namespace b6409
