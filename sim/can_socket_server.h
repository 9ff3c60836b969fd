#pragma once

#include <linux/can.h>

#include <atomic>
#include <thread>

#include "sim/module_simulator.h"

namespace b6409::sim {

// Conversions between the kernel's frame record and ours.
CanFrame FromCanRecord(const can_frame& record);
can_frame ToCanRecord(const CanFrame& frame);

// Plays the module on a descriptor that carries struct can_frame records: one end of a
// socketpair(AF_UNIX, SOCK_SEQPACKET) in tests, or a bound CAN_RAW socket on a real or
// virtual CAN interface.
class CanSocketModuleServer {
  public:
    CanSocketModuleServer(int fd, ModuleSimulator& module);  // does not take over fd
    ~CanSocketModuleServer();

    CanSocketModuleServer(const CanSocketModuleServer&) = delete;
    CanSocketModuleServer& operator=(const CanSocketModuleServer&) = delete;

    void Start();  // serves in a background thread
    void Stop();
    // Serves until stop is set or the other end of a socketpair goes away.
    void Serve(const std::atomic<bool>& stop);

  private:
    int fd_;
    ModuleSimulator& module_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace b6409::sim
