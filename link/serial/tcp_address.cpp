#include "link/serial/tcp_address.h"

#include <algorithm>

namespace b6409 {

namespace {

std::optional<TcpAddress> Refuse(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return std::nullopt;
}

bool ParsePortNumber(std::string_view digits, uint16_t* port) {
    if (digits.empty() || digits.size() > 5) return false;
    unsigned value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

// Names and addresses only: anything that could be read as a path, a user or a list of hosts
// is a mistake in the setting, not a host.
bool PlainHost(std::string_view host) {
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return c > ' ' && c < 0x7F && c != '/' && c != '@' && c != ',' && c != '[' && c != ']';
    });
}

}  // namespace

bool IsTcpAddress(std::string_view path) {
    return path.substr(0, kTcpScheme.size()) == kTcpScheme;
}

std::optional<TcpAddress> ParseHostPort(std::string_view text, std::string* error) {
    TcpAddress address;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return Refuse(error, "an IPv6 address lacks its ']'");
        address.host = std::string(text.substr(1, close - 1));
        if (address.host.find(':') == std::string::npos || !PlainHost(address.host))
            return Refuse(error, "no IPv6 address in the brackets");
        rest = text.substr(close + 1);
        if (rest.empty() || rest.front() != ':') return Refuse(error, "HOST:PORT needs a port");
        rest.remove_prefix(1);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) return Refuse(error, "HOST:PORT needs a port");
        address.host = std::string(text.substr(0, colon));
        rest = text.substr(colon + 1);
        if (address.host.find(':') != std::string::npos)
            return Refuse(error, "an IPv6 address goes in brackets, [::1]");
        if (address.host.empty() || !PlainHost(address.host))
            return Refuse(error, "no host name or address");
    }
    if (!ParsePortNumber(rest, &address.port))
        return Refuse(error, "the port is a number, 0 to 65535");
    return address;
}

std::optional<TcpAddress> ParseTcpAddress(std::string_view text, std::string* error) {
    const std::string quoted = "'" + std::string(text) + "'";
    if (!IsTcpAddress(text)) return Refuse(error, quoted + " does not start with tcp://");
    std::string why;
    std::optional<TcpAddress> address = ParseHostPort(text.substr(kTcpScheme.size()), &why);
    if (address && address->port == 0) return Refuse(error, quoted + ": the port is 1 to 65535");
    if (!address) return Refuse(error, quoted + ": " + why);
    return address;
}

std::string FormatHostPort(const TcpAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace b6409
