#include "link/socketcan/can_socket.h"

#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <utility>

namespace b6409 {

std::string CanInterfaceDetail(const std::string& ifname, int error) {
    return "SocketCAN interface " + ifname + ": " + std::generic_category().message(error);
}

int SocketCanOpener::OpenBound(const std::string& ifname, int* errorOut) {
    auto fail = [errorOut](int error) {
        if (errorOut) *errorOut = error;
        return -1;
    };
    // Looked up before the socket is made so that a missing interface reads as missing even
    // on a kernel without CAN support.
    if (ifname.empty() || ifname.size() >= IFNAMSIZ) return fail(ENODEV);
    const unsigned index = if_nametoindex(ifname.c_str());
    if (index == 0) return fail(ENODEV);
    const int fd = socket(PF_CAN, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, CAN_RAW);
    if (fd < 0) return fail(errno);
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(index);
    // A non-CAN interface (eth0) is refused here with ENODEV.
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        const int error = errno;
        close(fd);
        return fail(error);
    }
    return fd;
}

bool SocketCanOpener::InterfaceExists(const std::string& ifname) {
    return !ifname.empty() && ifname.size() < IFNAMSIZ && if_nametoindex(ifname.c_str()) != 0;
}

int SocketCanOpener::SetReceiveFilters(int fd, const std::vector<can_filter>& filters) {
    const auto size = static_cast<socklen_t>(filters.size() * sizeof(can_filter));
    if (setsockopt(fd, SOL_CAN_RAW, CAN_RAW_FILTER, filters.data(), size) < 0) return errno;
    return 0;
}

int WriteCanFrame(int fd, const can_frame& frame) {
    for (;;) {
        const ssize_t written = send(fd, &frame, sizeof frame, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (written == static_cast<ssize_t>(sizeof frame)) return 0;
        if (written >= 0) return EIO;
        if (errno != EINTR) return errno;
    }
}

int ReadCanFrame(int fd, can_frame* frame) {
    for (;;) {
        iovec buffer{frame, sizeof *frame};
        msghdr message{};
        message.msg_iov = &buffer;
        message.msg_iovlen = 1;
        const ssize_t got = recvmsg(fd, &message, MSG_DONTWAIT);
        // A longer record (a CAN FD frame) comes cut to the buffer's size on a socketpair,
        // which would pass as a classic frame; the kernel never hands one to a classic CAN_RAW
        // socket, so it is no frame here either.
        if (got > 0 && (message.msg_flags & MSG_TRUNC)) return EBADMSG;
        if (got == static_cast<ssize_t>(sizeof *frame)) return 0;
        if (got == 0) return ECONNRESET;  // a stream-like peer has closed; CAN_RAW never reads 0
        if (got > 0) return EBADMSG;
        if (errno == EWOULDBLOCK) return EAGAIN;
        if (errno != EINTR) return errno;
    }
}

CanPortSocket::~CanPortSocket() {
    if (fd_ >= 0) close(fd_);
}

CanPortSocket::CanPortSocket(CanPortSocket&& other) noexcept
    : opener_(other.opener_),
      fd_(std::exchange(other.fd_, -1)),
      queue_(std::move(other.queue_)),
      readError_(other.readError_) {}

CanPortSocket& CanPortSocket::operator=(CanPortSocket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        opener_ = other.opener_;
        fd_ = std::exchange(other.fd_, -1);
        queue_ = std::move(other.queue_);
        readError_ = other.readError_;
    }
    return *this;
}

void CanPortSocket::Pull() {
    readError_ = 0;
    while (queue_.size() < kQueueLimit) {
        can_frame frame{};
        const int result = opener_->Receive(fd_, &frame);
        if (result == EBADMSG) continue;
        if (result == EAGAIN) return;
        if (result != 0) {
            readError_ = result;
            return;
        }
        // Error frames are only delivered when asked for; a peer could still send one.
        if (frame.can_id & CAN_ERR_FLAG) continue;
        queue_.push_back(frame);
    }
}

size_t CanPortSocket::WaitingCount() {
    Pull();
    return queue_.size();
}

bool CanPortSocket::WaitReadable(uint32_t timeoutMs) {
    if (!queue_.empty()) return true;
    pollfd waiter{fd_, POLLIN, 0};
    const int ready = poll(&waiter, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX)));
    // An interrupted wait counts as a wait: the caller measures the time and asks again.
    if (ready < 0) return errno == EINTR;
    // A socket whose peer or interface is gone stays ready: waiting on it again would spin.
    if (waiter.revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitingCount() > 0;
    return true;
}

int CanPortSocket::Take(can_frame* frame) {
    if (queue_.empty()) Pull();
    if (queue_.empty()) return readError_ ? readError_ : EAGAIN;
    *frame = queue_.front();
    queue_.pop_front();
    return 0;
}

void CanPortSocket::DiscardWaiting() {
    queue_.clear();
    // Bounded so that a flooded bus cannot hold the caller here.
    for (size_t i = 0; i < kQueueLimit; ++i) {
        can_frame frame{};
        const int result = opener_->Receive(fd_, &frame);
        if (result != 0 && result != EBADMSG) break;
    }
}

}  // namespace b6409
