#pragma once

#include <cstdint>

namespace b6409 {

// Blocking waits of the command exchange and the serial baud search, and the time they are
// measured against. Injected so that tests can run the poll logic without waiting.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual void SleepMs(unsigned ms) = 0;
    // Milliseconds on a monotonic count; only differences mean anything.
    virtual uint64_t NowMs() = 0;
};

// Sleeps for real.
class SystemClock final : public Clock {
  public:
    void SleepMs(unsigned ms) override;
    uint64_t NowMs() override;
};

}  // namespace b6409
