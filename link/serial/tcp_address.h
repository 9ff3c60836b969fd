#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace b6409 {

// A converter whose serial stream is reached over TCP: HOST is an IPv4 address, an IPv6
// address in brackets, or a name.
struct TcpAddress {
    std::string host;  // without the brackets of an IPv6 literal
    uint16_t port = 0;
};

inline constexpr std::string_view kTcpScheme = "tcp://";

// Whether a COM port's device path names a TCP stream rather than a terminal.
bool IsTcpAddress(std::string_view path);

// Reads "HOST:PORT" (port 0 to 65535). On a bad form returns nothing and says what is wrong in
// *error.
std::optional<TcpAddress> ParseHostPort(std::string_view text, std::string* error);

// Reads "tcp://HOST:PORT", where a port to connect to cannot be 0; *error quotes the text.
std::optional<TcpAddress> ParseTcpAddress(std::string_view text, std::string* error);

// "HOST:PORT", with an IPv6 host in brackets again.
std::string FormatHostPort(const TcpAddress& address);

}  // namespace b6409
