#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/device_link.h"

namespace b6409::test {

// A link whose polls follow a script: each WaitingCount takes the next entry, nothing (an empty
// poll) or a frame that the following ReceiveFrame delivers. When the script runs out the link
// stays silent.
class ScriptedLink : public DeviceLink {
  public:
    std::deque<std::optional<CanFrame>> polls;
    std::optional<LinkFailure> openFailure, sendFailure, receiveFailure;
    std::vector<CanFrame> sent;
    std::vector<std::string> calls;

    std::optional<LinkFailure> Open() override {
        calls.push_back("Open");
        return openFailure;
    }
    std::optional<LinkFailure> SendFrame(const CanFrame& frame) override {
        calls.push_back("Send");
        sent.push_back(frame);
        return sendFailure;
    }
    uint32_t WaitingCount() override {
        calls.push_back("Waiting");
        if (polls.empty()) return 0;
        auto next = polls.front();
        polls.pop_front();
        if (!next) return 0;
        arrived_.push_back(*next);
        return 1;
    }
    ReceiveOutcome ReceiveFrame() override {
        calls.push_back("Receive");
        if (receiveFailure) return {{}, receiveFailure};
        CanFrame frame = arrived_.empty() ? CanFrame{} : arrived_.front();
        if (!arrived_.empty()) arrived_.pop_front();
        return {frame, std::nullopt};
    }
    void Close() override { calls.push_back("Close"); }

    // Empty polls, then a frame.
    void Arrive(const CanFrame& frame, int emptyPollsBefore = 0) {
        for (int i = 0; i < emptyPollsBefore; ++i) polls.push_back(std::nullopt);
        polls.push_back(frame);
    }

  private:
    std::deque<CanFrame> arrived_;
};

// Forwards to a link that outlives the exchange, so tests can look at it afterwards.
class LinkRef : public DeviceLink {
  public:
    explicit LinkRef(DeviceLink& target) : target_(target) {}
    std::optional<LinkFailure> Open() override { return target_.Open(); }
    std::optional<LinkFailure> SendFrame(const CanFrame& f) override {
        return target_.SendFrame(f);
    }
    uint32_t WaitingCount() override { return target_.WaitingCount(); }
    bool WaitForReply(unsigned timeoutMs) override { return target_.WaitForReply(timeoutMs); }
    ReceiveOutcome ReceiveFrame() override { return target_.ReceiveFrame(); }
    void Close() override { target_.Close(); }

  private:
    DeviceLink& target_;
};

// Hands out the one scripted link and remembers what it was asked for.
class ScriptedLinkFactory : public LinkFactory {
  public:
    ScriptedLink link;
    std::optional<DeviceKind> kind;
    std::optional<LinkNumbers> numbers;

    std::unique_ptr<DeviceLink> MakeLink(DeviceKind k, const LinkNumbers& n) override {
        kind = k;
        numbers = n;
        return std::make_unique<LinkRef>(link);
    }
};

// A reply frame: identifier, DLC and data bytes from byte 0.
inline CanFrame Reply(uint32_t id, std::vector<uint8_t> bytes, uint8_t dlc = 8) {
    CanFrame frame;
    frame.id = id;
    frame.dlc = dlc;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) frame.data[i] = bytes[i];
    return frame;
}

// A request frame: 11-bit data frame, DLC 8, the two data values.
inline CanFrame Request(uint32_t id, uint32_t low = 0, uint32_t high = 0) {
    CanFrame frame;
    frame.id = id;
    frame.dlc = 8;
    frame.SetDataLow(low);
    frame.SetDataHigh(high);
    return frame;
}

}  // namespace b6409::test
