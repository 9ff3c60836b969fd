#pragma once

#include <array>
#include <memory>

#include "link/device_link.h"
#include "link/socketcan/can_interface_names.h"
#include "link/socketcan/can_socket.h"
#include "link/socketcan/socketcan_cards.h"
#include "link/socketcan/socketcan_uhv.h"

namespace b6409 {

// The SocketCAN transport of the USB adapters and the PCI cards: the adapter layer and the card
// layer with its two facets, for as long as the transport lives, and a UhvLink, PcmLink or
// PccLink on them for each exchange.
class SocketCanTransport final : public LinkFactory {
  public:
    static constexpr std::array kKinds = {DeviceKind::Uhv1, DeviceKind::Uhv2, DeviceKind::Pcm1,
                                          DeviceKind::Pcc2, DeviceKind::Pcc4};

    // names gives each CAN port's interface; sockets opens them, null meaning this machine's
    // real CAN sockets.
    SocketCanTransport(CanInterfaceNamer names, CanSocketOpener* sockets);
    // The facets and the layers hold references into the transport.
    SocketCanTransport(const SocketCanTransport&) = delete;
    SocketCanTransport& operator=(const SocketCanTransport&) = delete;

    // Null for a kind not in kKinds.
    std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) override;

  private:
    SocketCanOpener ownSockets_;
    CanSocketOpener& sockets_;
    SocketCanUhv uhv_;
    SocketCanCards cards_;
    PcmFacet pcm_{cards_};
    PccFacet pcc_{cards_};
};

}  // namespace b6409
