#pragma once

#include <cstdint>
#include <optional>

#include "common/clock.h"
#include "link/device_link.h"

namespace b6409 {

// How an exchange waits for what answers its request.
enum class Pacing : uint8_t {
    // 100 ms after the send, then polls 100 ms apart: the timing the module was built against.
    Fixed,
    // On the link's own readiness, so a reply is taken as soon as it arrives; the same
    // allowance of waiting as fixed pacing.
    Reply,
};

// Fixed pacing of an exchange.
inline constexpr unsigned kWaitAfterSendMs = 100;
inline constexpr unsigned kWaitPerEmptyPollMs = 100;
inline constexpr int kEmptyPollAllowance = 11;  // the 12th empty poll ends the exchange
// The longest an exchange waits with nothing arriving, under either pacing: the wait after the
// send and twelve empty polls.
inline constexpr unsigned kReplyAllowanceMs =
    kWaitAfterSendMs + (kEmptyPollAllowance + 1) * kWaitPerEmptyPollMs;

// The waits of one exchange between its request and its last frame. One allowance for the
// whole exchange, not renewed when a frame arrives, so a list read whose frames keep coming
// still ends once the pauses between them add up to it.
class ExchangeWaits {
  public:
    ExchangeWaits(Pacing pacing, DeviceLink& link, Clock& clock)
        : pacing_(pacing), link_(link), clock_(clock) {}

    void AfterSend();
    // Nothing is waiting on the link: waits for more. False once the allowance is spent.
    bool AwaitMore();
    // Something was waiting: the time until the next empty poll does not count.
    void Arrived();

  private:
    bool AwaitReply();

    Pacing pacing_;
    DeviceLink& link_;
    Clock& clock_;
    int emptyPolls_ = 0;
    uint64_t spentMs_ = 0;  // of the allowance, by waits that ended with something arriving
    // When the current wait began; measured from there rather than summed per wake-up, so that
    // short wake-ups cannot round the time away.
    std::optional<uint64_t> waitStartMs_;
};

}  // namespace b6409
