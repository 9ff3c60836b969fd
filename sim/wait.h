#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace b6409::sim {

// Sleeps for ms in short slices so that a stop request cuts the pause short. Returns false
// when stopped.
inline bool SleepUnlessStopped(unsigned ms, const std::atomic<bool>& stop) {
    constexpr unsigned kSliceMs = 10;
    while (ms > 0) {
        if (stop) return false;
        const unsigned slice = ms < kSliceMs ? ms : kSliceMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        ms -= slice;
    }
    return !stop;
}

}  // namespace b6409::sim
