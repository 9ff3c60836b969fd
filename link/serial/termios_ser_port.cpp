#include "link/serial/termios_ser_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>

#include "link/serial/tcp_connection.h"

namespace b6409 {

namespace {

bool SpeedConstant(uint32_t baud, speed_t* speed) {
    static const std::pair<uint32_t, speed_t> kSpeeds[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto& [rate, constant] : kSpeeds) {
        if (rate == baud) {
            *speed = constant;
            return true;
        }
    }
    return false;
}

uint16_t OpenErrorCode(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return serial_error::kNoSuchPort;
        case EACCES:
        case EPERM:
            return serial_error::kPermission;
        case EBUSY:
        case EWOULDBLOCK:
            return serial_error::kPortInUse;
        case EISDIR:  // a folder named as the port
            return serial_error::kNotATerminal;
        default:
            return serial_error::kOsError;
    }
}

// Releases the exclusive claims and the descriptor.
void Release(int fd) {
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    close(fd);
}

}  // namespace

std::string DefaultComPortPath(uint16_t port) {
    const std::string variable = "B6409_COM" + std::to_string(port);
    if (const char* path = std::getenv(variable.c_str()); path && *path) return path;
    return "/dev/ttyS" + std::to_string(port - 1);
}

TermiosSerPort::TermiosSerPort(PathResolver resolver) : resolver_(std::move(resolver)) {}

TermiosSerPort::~TermiosSerPort() {
    for (const auto& [port, fd] : openPorts_) {
        if (streamPorts_.count(port))
            close(fd);
        else
            Release(fd);
    }
}

int TermiosSerPort::FdOf(uint16_t port) const {
    auto it = openPorts_.find(port);
    return it == openPorts_.end() ? -1 : it->second;
}

uint16_t TermiosSerPort::OpenPort(uint16_t port, uint32_t baud, uint8_t dataBits, uint8_t parity,
                                  uint8_t stopBits) {
    if (port == 0 || dataBits != 8 || parity != 0 || stopBits != 0)
        return serial_error::kBadArgument;
    if (FdOf(port) >= 0) return serial_error::kPortInUse;
    speed_t speed;
    if (!SpeedConstant(baud, &speed)) return serial_error::kBadBaudRate;

    const std::string path = resolver_(port);
    if (IsTcpAddress(path)) return ConnectPort(port, path);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return OpenErrorCode(errno);

    // Another program holding the port must make this open fail, as on a system where COM ports
    // are opened exclusively.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return OpenErrorCode(error);
    }
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        flock(fd, LOCK_UN);
        close(fd);
        return serial_error::kNotATerminal;
    }
    ioctl(fd, TIOCEXCL);
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        Release(fd);
        return serial_error::kNotATerminal;
    }
    // Whatever arrived before this exchange (a late reply to an earlier one) is not its reply.
    tcflush(fd, TCIOFLUSH);
    openPorts_[port] = fd;
    return 0;
}

// A converter reached over TCP needs no terminal settings and no claim: it serves one
// client at a time itself.
uint16_t TermiosSerPort::ConnectPort(uint16_t port, const std::string& address) {
    const std::optional<TcpAddress> target = ParseTcpAddress(address, nullptr);
    if (!target) return serial_error::kNoSuchPort;
    uint16_t code = 0;
    const int fd = ConnectTcp(*target, kTcpConnectTimeoutMs, &code);
    if (fd < 0) return code;
    openPorts_[port] = fd;
    streamPorts_.insert(port);
    return 0;
}

bool TermiosSerPort::HasBaudRate(uint16_t port) {
    return !IsTcpAddress(resolver_(port));
}

uint16_t TermiosSerPort::WriteChars(uint16_t port, const char* text, uint16_t length) {
    const int fd = FdOf(port);
    if (fd < 0) return serial_error::kNotOpen;
    const bool stream = streamPorts_.count(port) != 0;
    size_t written = 0;
    while (written < length) {
        // A peer that has closed the connection must fail the write, not end the program.
        const ssize_t n = stream ? send(fd, text + written, length - written, MSG_NOSIGNAL)
                                 : write(fd, text + written, length - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd waiter{fd, POLLOUT, 0};
            if (poll(&waiter, 1, 1000) <= 0) return serial_error::kTimeout;
        } else {
            return serial_error::kOsError;
        }
    }
    return 0;
}

uint32_t TermiosSerPort::CountReceived(uint16_t port) {
    const int fd = FdOf(port);
    int waiting = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
    return static_cast<uint32_t>(waiting);
}

bool TermiosSerPort::WaitReceived(uint16_t port, uint32_t timeoutMs) {
    const int fd = FdOf(port);
    if (fd < 0) return false;
    // A TCP peer's close shows only as POLLRDHUP (with POLLIN): without it the wait would return
    // at once, again and again, until the allowance ran out.
    pollfd waiter{fd, POLLIN | POLLRDHUP, 0};
    const int ready = poll(&waiter, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX)));
    // An interrupted wait counts as a wait: the caller measures the time and asks again.
    if (ready < 0) return errno == EINTR;
    // A hung-up terminal stays ready, with or without anything left to read: waiting on it
    // again would spin.
    if (waiter.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) return CountReceived(port) > 0;
    return true;
}

uint16_t TermiosSerPort::ReadLine(uint16_t port, char* buffer, uint32_t timeoutMs,
                                  uint32_t /*reserved*/, uint16_t* countRead) {
    uint16_t count = 0;
    if (countRead) *countRead = 0;
    const int fd = FdOf(port);
    if (fd < 0) return serial_error::kNotOpen;

    // One byte at a time: what follows the CR stays waiting on the port for the next read.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint16_t result = serial_error::kTimeout;
    bool hungUp = false;
    const bool stream = streamPorts_.count(port) != 0;
    // A line longer than the buffer keeps its first characters; the rest of it, up to its CR,
    // is dropped, so that its tail is not read as a frame of its own.
    for (;;) {
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n == 1) {
            if (count < kLineBufferSize) buffer[count++] = c;
            if (c == '\r') {
                result = 0;
                break;
            }
            continue;
        }
        // A terminal read with nothing waiting returns 0; on a connection it means the peer
        // has closed it, and nothing more will come.
        if ((n == 0 && stream) || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            result = serial_error::kOsError;
            break;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        // A TCP peer's close shows only as POLLRDHUP (with POLLIN): without it the wait would
        // return
        // at once, again and again, until the allowance ran out.
        pollfd waiter{fd, POLLIN | POLLRDHUP, 0};
        if (poll(&waiter, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            result = serial_error::kOsError;
            break;
        }
        if (waiter.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The far end is gone. A hung-up terminal keeps reporting input that reads as
            // nothing: take what is still buffered, then stop instead of spinning until the
            // time-out.
            if (hungUp || !(waiter.revents & POLLIN)) {
                result = serial_error::kOsError;
                break;
            }
            hungUp = true;
        }
    }
    if (count == kLineBufferSize && result == serial_error::kTimeout) result = 0;
    if (countRead) *countRead = count;
    return result;
}

void TermiosSerPort::ClosePort(uint16_t port) {
    auto it = openPorts_.find(port);
    if (it == openPorts_.end()) return;
    // Closed, not kept: the next exchange connects afresh, as a terminal is opened afresh.
    if (streamPorts_.erase(port))
        close(it->second);
    else
        Release(it->second);
    openPorts_.erase(it);
}

}  // namespace b6409
