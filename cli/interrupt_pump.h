#pragma once

#include <signal.h>

#include "common/progress.h"

namespace b6409 {

// Ctrl+C during a download or a profile run: the row or step in flight is answered, then the
// run stops before the next, so the module never sees half a request. A second Ctrl+C ends the
// program at once.
class InterruptPump final : public EventPump {
  public:
    InterruptPump();
    ~InterruptPump() override;
    InterruptPump(const InterruptPump&) = delete;
    InterruptPump& operator=(const InterruptPump&) = delete;
    int PumpWaitingMessages() override;

  private:
    struct sigaction previous_ {};
};

}  // namespace b6409
