#pragma once

#include <linux/can.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace b6409 {

// What a failed call on an interface tells the user besides its result code:
// "SocketCAN interface can0: No such device" for ENODEV.
std::string CanInterfaceDetail(const std::string& ifname, int error);

// One frame on a socket, without blocking. Results are 0 or an errno value: EAGAIN when
// nothing is waiting, ECONNRESET when the other end of a socketpair has gone, EBADMSG for a
// record shorter or longer than one struct can_frame (it is consumed). Writing never raises
// SIGPIPE.
int WriteCanFrame(int fd, const can_frame& frame);
int ReadCanFrame(int fd, can_frame* frame);

// Where the CAN driver layers get their sockets from, and what every frame goes through. The
// real one binds CAN_RAW sockets; tests hand out one end of a SOCK_SEQPACKET socketpair, which
// carries the same struct can_frame records, and stand in for what the kernel decides per
// interface (an interface down, the receive filters) in Send and Receive.
class CanSocketOpener {
  public:
    virtual ~CanSocketOpener() = default;
    // A non-blocking socket bound to the interface, or -1 with the errno value in *errorOut
    // (ENODEV when there is no such CAN interface).
    virtual int OpenBound(const std::string& ifname, int* errorOut) = 0;
    virtual bool InterfaceExists(const std::string& ifname) = 0;
    // Replaces the socket's receive filters; 0 or an errno value.
    virtual int SetReceiveFilters(int fd, const std::vector<can_filter>& filters) = 0;
    // One frame on a socket this opener made, as WriteCanFrame and ReadCanFrame.
    virtual int Send(int fd, const can_frame& frame) { return WriteCanFrame(fd, frame); }
    virtual int Receive(int fd, can_frame* frame) { return ReadCanFrame(fd, frame); }
};

// Raw CAN sockets of the running kernel.
class SocketCanOpener final : public CanSocketOpener {
  public:
    int OpenBound(const std::string& ifname, int* errorOut) override;
    bool InterfaceExists(const std::string& ifname) override;
    int SetReceiveFilters(int fd, const std::vector<can_filter>& filters) override;
};

// The frame records of the adapter and card layers carry the same fields under the same names.
// A record that is no CAN frame (format other than 0/1, ID wider than its format, DLC above 8)
// is refused rather than trimmed, so nothing goes on the bus that was not asked for.
template <typename Record>
bool RecordToCanFrame(const Record& record, can_frame* frame) {
    if (record.format > 1 || record.dlc > CAN_MAX_DLEN) return false;
    const bool extended = record.format == 1;
    if (record.id > (extended ? CAN_EFF_MASK : CAN_SFF_MASK)) return false;
    *frame = can_frame{};
    frame->can_id = record.id | (extended ? CAN_EFF_FLAG : 0) | (record.remote ? CAN_RTR_FLAG : 0);
    frame->len = record.dlc;
    std::memcpy(frame->data, record.data, sizeof frame->data);
    return true;
}

template <typename Record>
void CanFrameToRecord(const can_frame& frame, Record* record) {
    const bool extended = frame.can_id & CAN_EFF_FLAG;
    *record = Record{};
    record->format = extended ? 1 : 0;
    record->remote = (frame.can_id & CAN_RTR_FLAG) ? 1 : 0;
    record->dlc = frame.len > CAN_MAX_DLEN ? CAN_MAX_DLEN : frame.len;
    record->id = frame.can_id & (extended ? CAN_EFF_MASK : CAN_SFF_MASK);
    std::memcpy(record->data, frame.data, sizeof record->data);
}

// A bound CAN socket together with the frames already taken out of it. Neither CAN_RAW
// (no FIONREAD) nor MSG_PEEK can tell how many frames a socket holds, so the waiting frames
// are moved into a queue here and counted there; that is exact for CAN_RAW and socketpairs
// alike. Owns the descriptor; its frames go through the opener that made it.
class CanPortSocket {
  public:
    // Frames beyond this stay in the socket, where the kernel drops the excess as a full
    // controller would.
    static constexpr size_t kQueueLimit = 4096;

    CanPortSocket(CanSocketOpener& opener, int fd) : opener_(&opener), fd_(fd) {}
    ~CanPortSocket();
    CanPortSocket(CanPortSocket&& other) noexcept;
    CanPortSocket& operator=(CanPortSocket&& other) noexcept;
    CanPortSocket(const CanPortSocket&) = delete;
    CanPortSocket& operator=(const CanPortSocket&) = delete;

    int fd() const { return fd_; }
    size_t WaitingCount();
    // Blocks until a frame is waiting or timeoutMs have passed; false when the socket has failed.
    bool WaitReadable(uint32_t timeoutMs);
    // 0 and the oldest frame; EAGAIN when none is waiting; the read's errno when the socket
    // failed and nothing was queued before the failure.
    int Take(can_frame* frame);
    void DiscardWaiting();
    int Write(const can_frame& frame) { return opener_->Send(fd_, frame); }

  private:
    void Pull();

    CanSocketOpener* opener_;
    int fd_ = -1;
    std::deque<can_frame> queue_;
    int readError_ = 0;  // of the last Pull only: a downed interface may come back
};

}  // namespace b6409
