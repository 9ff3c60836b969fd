#include "sim/can_socket_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/wait.h"

namespace b6409::sim {

namespace {

constexpr int kPollTimeoutMs = 50;

}  // namespace

CanFrame FromCanRecord(const can_frame& record) {
    CanFrame frame;
    frame.extended = (record.can_id & CAN_EFF_FLAG) != 0;
    frame.remote = (record.can_id & CAN_RTR_FLAG) != 0;
    frame.id = record.can_id & (frame.extended ? CAN_EFF_MASK : CAN_SFF_MASK);
    frame.dlc = std::min<uint8_t>(record.len, 8);
    std::copy(record.data, record.data + frame.dlc, frame.data.begin());
    return frame;
}

can_frame ToCanRecord(const CanFrame& frame) {
    can_frame record{};
    record.can_id =
        frame.extended ? (frame.id & CAN_EFF_MASK) | CAN_EFF_FLAG : frame.id & CAN_SFF_MASK;
    if (frame.remote) record.can_id |= CAN_RTR_FLAG;
    record.len = std::min<uint8_t>(frame.dlc, 8);
    std::copy(frame.data.begin(), frame.data.end(), record.data);
    return record;
}

CanSocketModuleServer::CanSocketModuleServer(int fd, ModuleSimulator& module)
    : fd_(fd), module_(module) {}

CanSocketModuleServer::~CanSocketModuleServer() {
    Stop();
}

void CanSocketModuleServer::Start() {
    if (thread_.joinable()) return;
    stopRequested_ = false;
    thread_ = std::thread([this] { Serve(stopRequested_); });
}

void CanSocketModuleServer::Stop() {
    stopRequested_ = true;
    if (thread_.joinable()) thread_.join();
}

void CanSocketModuleServer::Serve(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd entry{fd_, POLLIN, 0};
        const int ready = poll(&entry, 1, kPollTimeoutMs);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        can_frame record{};
        const ssize_t count = read(fd_, &record, sizeof record);
        if (count == 0) return;  // the other end of the pair has gone
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            // A CAN interface that went down may come back; a dead pair end will not.
            if (errno == ENETDOWN) {
                SleepUnlessStopped(kPollTimeoutMs, stop);
                continue;
            }
            return;
        }
        // Short records and error frames are no requests.
        if (count != static_cast<ssize_t>(sizeof record) || (record.can_id & CAN_ERR_FLAG))
            continue;
        for (const TimedFrame& reply : module_.Handle(FromCanRecord(record))) {
            if (!SleepUnlessStopped(reply.delayBeforeMs, stop)) return;
            const can_frame out = ToCanRecord(reply.frame);
            while (write(fd_, &out, sizeof out) < 0 && errno == EINTR) {
            }
        }
    }
}

}  // namespace b6409::sim
