#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/message_sink.h"

namespace b6409::test {

// Keeps every message shown, with its icon, and the details that came with some of them.
class RecordingSink : public MessageSink {
  public:
    void Show(const std::string& text, MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
    void ShowWithDetail(const std::string& text, MessageIcon icon,
                        const std::string& detail) override {
        shown.emplace_back(text, icon);
        details.push_back(detail);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& [text, icon] : shown) texts.push_back(text);
        return texts;
    }
    std::string Last() const { return shown.empty() ? std::string() : shown.back().first; }
    std::vector<std::pair<std::string, MessageIcon>> shown;
    std::vector<std::string> details;
};

// Records the waits instead of waiting; its time moves only by them and by Advance.
class RecordingClock : public Clock {
  public:
    void SleepMs(unsigned ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
    uint64_t NowMs() override { return now; }
    // Time that passes without a sleep, as in a link's wait for its input.
    void Advance(unsigned ms) { now += ms; }
    unsigned Total() const {
        unsigned total = 0;
        for (unsigned ms : sleeps) total += ms;
        return total;
    }
    std::vector<unsigned> sleeps;
    uint64_t now = 0;
};

}  // namespace b6409::test
