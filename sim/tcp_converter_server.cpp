#include "sim/tcp_converter_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace b6409::sim {

namespace {

constexpr int kAcceptPollMs = 50;

uint16_t BoundPort(int fd) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    if (local.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(local).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(local).sin_port);
}

}  // namespace

TcpConverterServer::TcpConverterServer(SerialConverterSim& converter) : converter_(converter) {}

TcpConverterServer::~TcpConverterServer() {
    if (listenFd_ >= 0) close(listenFd_);
}

bool TcpConverterServer::Listen(const TcpAddress& address, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    if (const int status = getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
        status != 0) {
        *error = address.host + ": " + gai_strerror(status);
        return false;
    }
    std::string lastError = "no address";
    for (const addrinfo* candidate = found; candidate; candidate = candidate->ai_next) {
        const int fd = socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                              candidate->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        // A simulator restarted on the same port must not wait for the old connections to
        // time out.
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || listen(fd, 4) != 0) {
            lastError = std::strerror(errno);
            close(fd);
            continue;
        }
        listenFd_ = fd;
        break;
    }
    freeaddrinfo(found);
    if (listenFd_ < 0) {
        *error = "listen on " + FormatHostPort(address) + ": " + lastError;
        return false;
    }
    bound_ = address;
    bound_.port = BoundPort(listenFd_);
    return true;
}

std::string TcpConverterServer::Url() const {
    return std::string(kTcpScheme) + FormatHostPort(bound_);
}

void TcpConverterServer::Serve(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd entry{listenFd_, POLLIN, 0};
        if (poll(&entry, 1, kAcceptPollMs) <= 0) continue;
        const int client = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) continue;
        converter_.ServeStream(client, stop);
        close(client);
    }
}

}  // namespace b6409::sim
