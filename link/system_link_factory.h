#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/clock.h"
#include "link/can_socket.h"
#include "link/device_link.h"
#include "link/termios_ser_port.h"

namespace b6409 {

// The links over this machine's serial ports and SocketCAN interfaces. The driver layers live
// as long as the factory; each link lives for one exchange.
class SystemLinkFactory final : public LinkFactory {
  public:
    // canSockets opens the SocketCAN sockets; null means this machine's real CAN sockets.
    explicit SystemLinkFactory(Clock& clock,
                               TermiosSerPort::PathResolver serialPaths = DefaultComPortPath,
                               CanSocketOpener* canSockets = nullptr);
    ~SystemLinkFactory() override;

    std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) override;

  private:
    struct CanLayers;
    Clock& clock_;
    TermiosSerPort serial_;
    std::unique_ptr<CanLayers> can_;
};

}  // namespace b6409
