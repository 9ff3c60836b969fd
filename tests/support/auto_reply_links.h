#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "link/device_link.h"

namespace b6409::test {

// A bus where the module answers every request at once on its reply identifier, except the
// request numbered errorAt (1-based), which gets an error reply with errorCode. Every request of
// every link is kept in order.
class AutoReplyLinks : public LinkFactory {
  public:
    std::vector<CanFrame> requests;
    int errorAt = 0;
    uint8_t errorCode = 1;
    int opens = 0, closes = 0;
    // Called with each request as it is sent, e.g. to act as the user would meanwhile.
    std::function<void(const CanFrame&)> onRequest;

    std::unique_ptr<DeviceLink> MakeLink(DeviceKind, const LinkNumbers&) override {
        return std::make_unique<Link>(*this);
    }

  private:
    class Link : public DeviceLink {
      public:
        explicit Link(AutoReplyLinks& bus) : bus_(bus) {}
        std::optional<LinkFailure> Open() override {
            ++bus_.opens;
            return std::nullopt;
        }
        std::optional<LinkFailure> SendFrame(const CanFrame& frame) override {
            bus_.requests.push_back(frame);
            if (bus_.onRequest) bus_.onRequest(frame);
            reply_ = CanFrame{};
            reply_->dlc = 8;
            if (static_cast<int>(bus_.requests.size()) == bus_.errorAt) {
                reply_->id = 0x7FF;
                reply_->data[0] = bus_.errorCode;
            } else {
                reply_->id = frame.id + 0x400;
            }
            return std::nullopt;
        }
        uint32_t WaitingCount() override { return reply_ ? 1 : 0; }
        ReceiveOutcome ReceiveFrame() override {
            ReceiveOutcome outcome{reply_.value_or(CanFrame{}), std::nullopt};
            reply_.reset();
            return outcome;
        }
        void Close() override { ++bus_.closes; }

      private:
        AutoReplyLinks& bus_;
        std::optional<CanFrame> reply_;
    };
};

}  // namespace b6409::test
