#pragma once

#include "common/clock.h"
#include "link/device_link.h"
#include "link/serial/ser_port_api.h"

namespace b6409 {

// The link of the three serial converters: frame text lines on a COM port. The SCV-1 is found
// by trying its baud rates in turn until the "S" / "S83" handshake is answered; the UCV-1 and
// the ECV-1D run at fixed rates.
class SerialLink final : public DeviceLink {
  public:
    SerialLink(SerPortApi& serial, Clock& clock, DeviceKind kind, uint16_t devicePortNumber);

    std::optional<LinkFailure> Open() override;
    std::optional<LinkFailure> SendFrame(const CanFrame& frame) override;
    uint32_t WaitingCount() override;
    bool WaitForReply(unsigned timeoutMs) override;
    ReceiveOutcome ReceiveFrame() override;
    void Close() override;

  private:
    std::optional<LinkFailure> SearchScv1();

    SerPortApi& serial_;
    Clock& clock_;
    DeviceKind kind_;
    uint16_t port_;
};

// The pause between two SCV-1 trials.
inline constexpr unsigned kBaudTrialPauseMs = 100;
// What the search remembers for a trial whose handshake failed.
inline constexpr uint16_t kHandshakeFailedCode = 1;

}  // namespace b6409
