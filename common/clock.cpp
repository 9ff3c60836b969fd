#include "common/clock.h"

#include <chrono>
#include <thread>

namespace b6409 {

void SystemClock::SleepMs(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace b6409
