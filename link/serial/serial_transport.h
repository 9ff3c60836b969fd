#pragma once

#include <array>
#include <memory>

#include "common/clock.h"
#include "link/device_link.h"
#include "link/serial/termios_ser_port.h"

namespace b6409 {

// The serial converters' transport: one serial port layer over this machine's terminals for as
// long as the transport lives, and a SerialLink on it for each exchange.
class SerialTransport final : public LinkFactory {
  public:
    static constexpr std::array kKinds = {DeviceKind::Scv1, DeviceKind::Ucv1, DeviceKind::Ecv1d};

    SerialTransport(Clock& clock, TermiosSerPort::PathResolver paths);

    // Null for a kind not in kKinds.
    std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) override;

  private:
    Clock& clock_;
    TermiosSerPort serial_;
};

}  // namespace b6409
