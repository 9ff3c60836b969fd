#include "link/system_link_factory.h"

#include "link/can_links.h"
#include "link/serial_link.h"
#include "link/socketcan_cards.h"
#include "link/socketcan_uhv.h"

namespace b6409 {

struct SystemLinkFactory::CanLayers {
    explicit CanLayers(CanSocketOpener* injected)
        : opener(injected ? *injected : ownOpener), uhv(opener), cards(opener) {}
    SocketCanOpener ownOpener;
    CanSocketOpener& opener;
    SocketCanUhv uhv;
    SocketCanCards cards;
};

SystemLinkFactory::SystemLinkFactory(Clock& clock, TermiosSerPort::PathResolver serialPaths,
                                     CanSocketOpener* canSockets)
    : clock_(clock),
      serial_(std::move(serialPaths)),
      can_(std::make_unique<CanLayers>(canSockets)) {}

SystemLinkFactory::~SystemLinkFactory() = default;

std::unique_ptr<DeviceLink> SystemLinkFactory::MakeLink(DeviceKind kind,
                                                        const LinkNumbers& numbers) {
    switch (kind) {
        case DeviceKind::Uhv1:
        case DeviceKind::Uhv2:
            return std::make_unique<UhvLink>(can_->uhv, kind, numbers);
        case DeviceKind::Pcm1:
            return std::make_unique<PcmLink>(can_->cards.Pcm(), numbers);
        case DeviceKind::Pcc2:
        case DeviceKind::Pcc4:
            return std::make_unique<PccLink>(can_->cards.Pcc(), numbers);
        case DeviceKind::Scv1:
        case DeviceKind::Ucv1:
        case DeviceKind::Ecv1d:
            break;
    }
    return std::make_unique<SerialLink>(serial_, clock_, kind, numbers.devicePortNumber);
}

}  // namespace b6409
