#pragma once

#include <string>

#include "common/message_sink.h"

namespace b6409::bench {

// Counts the messages that start with a prefix.
class CountingSink : public MessageSink {
  public:
    explicit CountingSink(std::string prefix) : prefix_(std::move(prefix)) {}
    void Show(const std::string& text, MessageIcon) override {
        if (text.rfind(prefix_, 0) == 0) ++matches;
        last = text;
    }
    int matches = 0;
    std::string last;

  private:
    std::string prefix_;
};

}  // namespace b6409::bench
