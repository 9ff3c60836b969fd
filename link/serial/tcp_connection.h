#pragma once

#include <cstdint>

#include "link/serial/tcp_address.h"

namespace b6409 {

// The time a converter's TCP connection may take to be made.
inline constexpr unsigned kTcpConnectTimeoutMs = 2000;

// Connects to the address (each address a name resolves to in turn, within one time-out) and
// returns a non-blocking socket with TCP_NODELAY set, or -1 with the serial layer's code for
// the failure in *code (serial_error::kConnectRefused, kUnreachable, kConnectTimeout or
// kOsError).
int ConnectTcp(const TcpAddress& address, unsigned timeoutMs, uint16_t* code);

}  // namespace b6409
