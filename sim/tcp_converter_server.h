#pragma once

#include <atomic>
#include <string>

#include "link/serial/tcp_address.h"
#include "sim/serial_converter.h"

namespace b6409::sim {

// An Ethernet converter's TCP side: listens at one address and hands each client's
// connection to the converter, one client at a time; the next is taken when the current one
// has closed.
class TcpConverterServer {
  public:
    explicit TcpConverterServer(SerialConverterSim& converter);
    ~TcpConverterServer();
    TcpConverterServer(const TcpConverterServer&) = delete;
    TcpConverterServer& operator=(const TcpConverterServer&) = delete;

    // Binds and listens; port 0 takes any free port.
    bool Listen(const TcpAddress& address, std::string* error);
    // Where it listens, as a client names it: tcp://HOST:PORT with the port actually bound.
    std::string Url() const;

    void Serve(const std::atomic<bool>& stop);

  private:
    SerialConverterSim& converter_;
    int listenFd_ = -1;
    TcpAddress bound_;
};

}  // namespace b6409::sim
