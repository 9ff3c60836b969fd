#pragma once

#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>

namespace b6409::test {

// A socketpair that carries struct can_frame records like a bound CAN_RAW socket. Returns the
// layer's end (non-blocking, as the real opener makes it) and puts the far end in *farEnd; -1
// with *errorOut set on failure.
inline int OpenCanSocketPair(int* farEnd, int* errorOut) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        *errorOut = errno;
        return -1;
    }
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    *farEnd = ends[1];
    return ends[0];
}

}  // namespace b6409::test
