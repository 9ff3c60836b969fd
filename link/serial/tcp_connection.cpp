#include "link/serial/tcp_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "link/serial/termios_ser_port.h"

namespace b6409 {

namespace {

uint16_t ConnectErrorCode(int error) {
    switch (error) {
        case ECONNREFUSED:
            return serial_error::kConnectRefused;
        case ETIMEDOUT:
            return serial_error::kConnectTimeout;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case EHOSTDOWN:
        case EADDRNOTAVAIL:
        case EAFNOSUPPORT:
            return serial_error::kUnreachable;
        default:
            return serial_error::kOsError;
    }
}

// One attempt on one resolved address, until the deadline. Returns the socket or -1 with
// errno set.
int ConnectOne(const addrinfo& candidate, std::chrono::steady_clock::time_point deadline) {
    const int fd = socket(candidate.ai_family, candidate.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          candidate.ai_protocol);
    if (fd < 0) return -1;
    auto fail = [fd](int error) {
        close(fd);
        errno = error;
        return -1;
    };
    if (connect(fd, candidate.ai_addr, candidate.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return fail(errno);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return fail(ETIMEDOUT);
            pollfd waiter{fd, POLLOUT, 0};
            const int ready = poll(&waiter, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) return fail(errno);
            if (ready > 0) break;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return fail(errno);
        if (error != 0) return fail(error);
    }
    // Each request is one short line followed by a wait for its reply: it must go out at once.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

int ConnectTcp(const TcpAddress& address, unsigned timeoutMs, uint16_t* code,
               const AddressResolver& resolver) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    // The lookup is part of making the connection and shares its time-out.
    const NameLookup lookup =
        LookUpBy(address.host, std::to_string(address.port), hints, deadline, resolver);
    if (lookup.outcome == NameLookup::Outcome::TimedOut) {
        *code = serial_error::kConnectTimeout;
        return -1;
    }
    // A name that does not resolve leads nowhere, as an unreachable host does.
    *code = serial_error::kUnreachable;
    if (lookup.outcome == NameLookup::Outcome::NotFound) return -1;
    int fd = -1;
    for (const addrinfo* candidate = lookup.addresses.get(); candidate && fd < 0;
         candidate = candidate->ai_next) {
        fd = ConnectOne(*candidate, deadline);
        if (fd < 0) *code = ConnectErrorCode(errno);
        if (fd < 0 && *code == serial_error::kConnectTimeout) break;
    }
    if (fd >= 0) *code = 0;
    return fd;
}

}  // namespace b6409
