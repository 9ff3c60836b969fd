#pragma once

namespace b6409 {

// Blocking waits of the command exchange and the serial baud search. Injected so that
// tests can run the poll logic without waiting.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual void SleepMs(unsigned ms) = 0;
};

// Sleeps for real.
class SystemClock final : public Clock {
  public:
    void SleepMs(unsigned ms) override;
};

}  // namespace b6409
