#pragma once

#include <map>
#include <memory>
#include <span>
#include <vector>

#include "common/clock.h"
#include "link/device_link.h"
#include "link/serial/termios_ser_port.h"
#include "link/socketcan/can_interface_names.h"
#include "link/socketcan/can_socket.h"

namespace b6409 {

// The links over this machine's interfaces. Each transport (one folder of link/: serial/,
// socketcan/) is a LinkFactory for its device kinds whose driver layers live as long as this
// factory; the constructor registers them all. Each link lives for one exchange.
class SystemLinkFactory final : public LinkFactory {
  public:
    // What the program chooses at its edge: serialPaths turns a COM port number into a device
    // path, canNames names the SocketCAN interface of a CAN port, and canSockets opens the
    // SocketCAN sockets (null means this machine's real CAN sockets).
    explicit SystemLinkFactory(Clock& clock,
                               TermiosSerPort::PathResolver serialPaths = DefaultComPortPath,
                               CanInterfaceNamer canNames = DefaultCanInterfaceName,
                               CanSocketOpener* canSockets = nullptr);
    ~SystemLinkFactory() override;

    // The link of the transport registered for the kind.
    std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) override;

  private:
    void Register(std::span<const DeviceKind> kinds, std::unique_ptr<LinkFactory> transport);

    std::vector<std::unique_ptr<LinkFactory>> transports_;
    std::map<DeviceKind, LinkFactory*> transportOf_;
};

}  // namespace b6409
