#pragma once

#include <cstdint>

#include "link/serial/name_lookup.h"
#include "link/serial/tcp_address.h"

namespace b6409 {

// The time a converter's TCP connection may take to be made.
inline constexpr unsigned kTcpConnectTimeoutMs = 2000;

// Connects to the address (the name's lookup and then each address it resolves to in turn, all
// within one time-out) and
// returns a non-blocking socket with TCP_NODELAY set, or -1 with the serial layer's code for
// the failure in *code (serial_error::kConnectRefused, kUnreachable, kConnectTimeout or
// kOsError).
int ConnectTcp(const TcpAddress& address, unsigned timeoutMs, uint16_t* code,
               const AddressResolver& resolver = getaddrinfo);

}  // namespace b6409
