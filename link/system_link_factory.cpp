#include "link/system_link_factory.h"

#include <cassert>
#include <utility>

#include "link/serial/serial_transport.h"
#include "link/socketcan/socketcan_transport.h"

namespace b6409 {

SystemLinkFactory::SystemLinkFactory(Clock& clock, TermiosSerPort::PathResolver serialPaths,
                                     CanInterfaceNamer canNames, CanSocketOpener* canSockets) {
    // One registration per transport.
    Register(SerialTransport::kKinds,
             std::make_unique<SerialTransport>(clock, std::move(serialPaths)));
    Register(SocketCanTransport::kKinds,
             std::make_unique<SocketCanTransport>(std::move(canNames), canSockets));
    assert(transportOf_.size() == AllDeviceKinds().size() && "every kind needs its transport");
}

SystemLinkFactory::~SystemLinkFactory() = default;

void SystemLinkFactory::Register(std::span<const DeviceKind> kinds,
                                 std::unique_ptr<LinkFactory> transport) {
    for (const DeviceKind kind : kinds) {
        [[maybe_unused]] const bool first = transportOf_.emplace(kind, transport.get()).second;
        assert(first && "a kind belongs to one transport");
    }
    transports_.push_back(std::move(transport));
}

std::unique_ptr<DeviceLink> SystemLinkFactory::MakeLink(DeviceKind kind,
                                                        const LinkNumbers& numbers) {
    return transportOf_.at(kind)->MakeLink(kind, numbers);
}

}  // namespace b6409
