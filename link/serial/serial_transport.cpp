#include "link/serial/serial_transport.h"

#include <algorithm>

#include "link/serial/serial_link.h"

namespace b6409 {

SerialTransport::SerialTransport(Clock& clock, TermiosSerPort::PathResolver paths)
    : clock_(clock), serial_(std::move(paths)) {}

std::unique_ptr<DeviceLink> SerialTransport::MakeLink(DeviceKind kind, const LinkNumbers& numbers) {
    if (std::find(kKinds.begin(), kKinds.end(), kind) == kKinds.end()) return nullptr;
    return std::make_unique<SerialLink>(serial_, clock_, kind, numbers.devicePortNumber);
}

}  // namespace b6409
