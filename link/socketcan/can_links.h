#pragma once

#include <cstdint>
#include <optional>

#include "link/device_link.h"
#include "link/link_settings.h"
#include "link/socketcan/can_library_apis.h"

namespace b6409 {

// The links of the USB adapters and PCI cards, made per exchange. Each holds a reference to
// its long-lived layer and the numbers of the exchange; the layer keeps all state, so a link
// can be dropped at any point after Close. A failure carries the layer's detail of the failed
// call (the interface and the system's reason) besides its message.

// UHV-1 and UHV-2: the adapter on COM devicePortNumber, port canPortNumber at 250000 bit/s.
// Failures show the layer's result by name.
class UhvLink final : public DeviceLink {
  public:
    static constexpr uint32_t kBitRate = 250000;

    UhvLink(UhvCanApi& api, DeviceKind kind, LinkNumbers numbers)
        : api_(api), kind_(kind), numbers_(numbers) {}

    std::optional<LinkFailure> Open() override;
    std::optional<LinkFailure> SendFrame(const CanFrame& frame) override;
    uint32_t WaitingCount() override;
    bool WaitForReply(unsigned timeoutMs) override;
    ReceiveOutcome ReceiveFrame() override;
    void Close() override;

  private:
    UhvCanApi& api_;
    DeviceKind kind_;
    LinkNumbers numbers_;
};

// What the two card families share: frames, counts and the close, on card boardNumber and
// port canPortNumber. The families differ only in how a port is opened.
template <typename Api>
class CardLink : public DeviceLink {
  public:
    CardLink(Api& api, LinkNumbers numbers) : api_(api), numbers_(numbers) {}

    std::optional<LinkFailure> SendFrame(const CanFrame& frame) override;
    uint32_t WaitingCount() override;
    bool WaitForReply(unsigned timeoutMs) override;
    ReceiveOutcome ReceiveFrame() override;
    void Close() override;

  protected:
    Api& api_;
    LinkNumbers numbers_;
};

// PCM-1: the port is initialised and configured to accept every frame at bit-rate index 5.
class PcmLink final : public CardLink<PcmApi> {
  public:
    using CardLink::CardLink;
    std::optional<LinkFailure> Open() override;
};

// PCC-2 and PCC-4: as PCM-1, with a port reset first and the receive interrupt enabled last.
class PccLink final : public CardLink<PccApi> {
  public:
    using CardLink::CardLink;
    std::optional<LinkFailure> Open() override;
};

}  // namespace b6409
