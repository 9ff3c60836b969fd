#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

#include "link/serial/ser_port_api.h"

namespace b6409 {

// Where COM port n lives: the path in B6409_COM<n> when set, else /dev/ttyS<n-1>. The path may
// also be a TCP address, tcp://HOST:PORT.
std::string DefaultComPortPath(uint16_t port);

// Result codes of the serial layer (shown to the user as "ErrCode").
namespace serial_error {
inline constexpr uint16_t kBadArgument = 1;   // port 0, data bits other than 8, parity/stop bits
inline constexpr uint16_t kNoSuchPort = 2;    // the device path does not exist
inline constexpr uint16_t kPermission = 3;    // no access: join the dialout group
inline constexpr uint16_t kPortInUse = 4;     // another program (or this one) holds the port
inline constexpr uint16_t kNotATerminal = 5;  // the path is no serial port, or refused the settings
inline constexpr uint16_t kBadBaudRate = 6;   // a rate the terminal layer does not know
inline constexpr uint16_t kOsError = 7;       // any other failure of the system
inline constexpr uint16_t kNotOpen = 8;       // write or read on a port that is not open
inline constexpr uint16_t kTimeout = 9;       // the read ended before a CR arrived
inline constexpr uint16_t kConnectRefused = 10;  // a TCP port: nothing listens at the address
inline constexpr uint16_t kUnreachable = 11;     // a TCP port: no route to it, or no such name
inline constexpr uint16_t kConnectTimeout = 12;  // a TCP port: no answer within the time-out
}  // namespace serial_error

// The serial layer over POSIX terminals: exclusive open (flock and TIOCEXCL), raw 8N1 without
// flow control, stale input discarded at open. Ports are known by number, as callers never keep a
// handle; the resolver turns a number into a device path. A port whose path is tcp://HOST:PORT
// is a TCP connection instead, made afresh at each open, carrying the same byte stream.
class TermiosSerPort final : public SerPortApi {
  public:
    using PathResolver = std::function<std::string(uint16_t port)>;

    explicit TermiosSerPort(PathResolver resolver = DefaultComPortPath);
    ~TermiosSerPort() override;
    TermiosSerPort(const TermiosSerPort&) = delete;
    TermiosSerPort& operator=(const TermiosSerPort&) = delete;

    uint16_t OpenPort(uint16_t port, uint32_t baud, uint8_t dataBits, uint8_t parity,
                      uint8_t stopBits) override;
    uint16_t WriteChars(uint16_t port, const char* text, uint16_t length) override;
    uint32_t CountReceived(uint16_t port) override;
    bool WaitReceived(uint16_t port, uint32_t timeoutMs) override;
    uint16_t ReadLine(uint16_t port, char* buffer, uint32_t timeoutMs, uint32_t reserved,
                      uint16_t* countRead) override;
    void ClosePort(uint16_t port) override;
    bool HasBaudRate(uint16_t port) override;

  private:
    int FdOf(uint16_t port) const;
    uint16_t ConnectPort(uint16_t port, const std::string& address);

    PathResolver resolver_;
    std::map<uint16_t, int> openPorts_;
    std::set<uint16_t> streamPorts_;  // the open ports that are TCP connections
};

}  // namespace b6409
