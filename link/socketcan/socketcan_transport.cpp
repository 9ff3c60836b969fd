#include "link/socketcan/socketcan_transport.h"

#include <utility>

#include "link/socketcan/can_links.h"

namespace b6409 {

SocketCanTransport::SocketCanTransport(CanInterfaceNamer names, CanSocketOpener* sockets)
    : sockets_(sockets ? *sockets : ownSockets_),
      uhv_(sockets_, names),
      cards_(sockets_, std::move(names)) {}

std::unique_ptr<DeviceLink> SocketCanTransport::MakeLink(DeviceKind kind,
                                                         const LinkNumbers& numbers) {
    switch (kind) {
        case DeviceKind::Uhv1:
        case DeviceKind::Uhv2:
            return std::make_unique<UhvLink>(uhv_, kind, numbers);
        case DeviceKind::Pcm1:
            return std::make_unique<PcmLink>(pcm_, numbers);
        case DeviceKind::Pcc2:
        case DeviceKind::Pcc4:
            return std::make_unique<PccLink>(pcc_, numbers);
        default:
            return nullptr;
    }
}

}  // namespace b6409
