#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/message_sink.h"
#include "link/can_frame.h"
#include "link/device_kind.h"
#include "link/link_settings.h"

namespace b6409 {

// A failure of a link operation, with the exact text the user is shown and, where the system
// gave a reason, what was tried and that reason ("SocketCAN interface can0: No such device").
struct LinkFailure {
    std::string message;
    std::string detail = {};  // empty when there is nothing to add
};

// What a receive delivers: a frame, or the failure to report.
struct ReceiveOutcome {
    CanFrame frame;
    std::optional<LinkFailure> failure;
};

// One PC-side interface for the length of one exchange: Open, SendFrame, then WaitingCount
// (and WaitForReply) and ReceiveFrame as often as needed, Close. Close is called on every way
// out, also after a failed Open, so closing what is not open must be harmless.
class DeviceLink {
  public:
    virtual ~DeviceLink() = default;
    virtual std::optional<LinkFailure> Open() = 0;
    virtual std::optional<LinkFailure> SendFrame(const CanFrame& frame) = 0;
    virtual uint32_t WaitingCount() = 0;  // 0 = nothing yet; frames or bytes otherwise
    // Blocks until something is waiting or timeoutMs have passed. False when the link has no
    // input it can wait on (or that input has failed), so the caller must pace itself instead.
    virtual bool WaitForReply(unsigned /*timeoutMs*/) { return false; }
    virtual ReceiveOutcome ReceiveFrame() = 0;
    virtual void Close() = 0;
};

// Closes the link and then shows the message with no icon.
void CloseAndReport(DeviceLink& link, MessageSink& sink, const std::string& message);
// The same for a failure of the link, with its detail where it has one.
void CloseAndReport(DeviceLink& link, MessageSink& sink, const LinkFailure& failure);

// Makes the link of a kind for the numbers of one exchange.
class LinkFactory {
  public:
    virtual ~LinkFactory() = default;
    virtual std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) = 0;
};

}  // namespace b6409
