#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "link/socketcan/can_interface_names.h"
#include "link/socketcan/can_library_apis.h"
#include "link/socketcan/can_socket.h"

namespace b6409 {

// The USB adapter layer (UHV-1, UHV-2) over SocketCAN, one socket per CAN port in use; the
// interface of each port is the one its namer gives. A long-lived object: the links of single
// exchanges call into it.
//
// The port calls name only the CAN port, not the adapter, so each CAN port number belongs to
// at most one open adapter. The adapter's COM number travels in one byte: 0 stands for COM256.
// The requested bit rates are kept but not applied (see CanInterfaceNamer).
//
// Results, named by LibraryErrorName:
//    1 DEV_ModName_Err        the open record's kind is neither 1 (UHV-1) nor 2 (UHV-2)
//    2 DEV_ModNotExist_Err    the kernel offers no CAN sockets
//    3 DEV_PortNotExist_Err   a port's interface is missing or is not a CAN interface
//    4 DEV_PortInUse_Err      the adapter, or a CAN port it would use, is open already
//    5 DEV_PortNotOpen_Err    a call on a port that no open adapter uses, or closing an
//                             adapter that is not open (which changes nothing)
//    6 CAN_ConfigFail_Err     no open record, or no port with a non-zero rate
//    7 CAN_HARDWARE_Err       the socket could not be made or bound otherwise (permissions)
//    8 CAN_PortNo_Err         a CAN port other than 1 or 2, or CAN2 of a UHV-1
//    9 CAN_FIDLength_Err      the frame record is no CAN frame (format, ID width, DLC)
//   10 CAN_DevDisconnect_Err  the interface failed under a send or a receive
//   14 CAN_RxBufEmpty         a receive with nothing waiting
//   15 CAN_TxBufFull          the interface's transmit queue is full
// Results 2, 3, 7, 10 and 15 come with a LastFailureDetail naming the interface and the
// system's reason.
class SocketCanUhv final : public UhvCanApi {
  public:
    SocketCanUhv(CanSocketOpener& opener, CanInterfaceNamer names)
        : opener_(opener), names_(std::move(names)) {}

    int OpenAdapter(const UhvOpenRecord* record) override;
    int PrepareSend(uint8_t canPort) override;
    int SendFrame(uint8_t canPort, const UhvFrameRecord* frame) override;
    int CountReceived(uint8_t canPort, uint32_t* count) override;
    int ReceiveFrame(uint8_t canPort, UhvFrameRecord* frame) override;
    int CloseAdapter(uint8_t devicePort) override;
    bool WaitReceived(uint8_t canPort, uint32_t timeoutMs) override;
    std::string LastFailureDetail() const override { return lastDetail_; }

    // The rate the open asked for on a CAN port in use; 0 when no open adapter uses it.
    uint32_t RequestedBitRate(uint8_t canPort) const;

  private:
    static constexpr int kCanPorts = 2;

    struct Port {
        int comNumber;
        uint32_t bitRate;
        std::string ifname;
        CanPortSocket socket;
    };

    // The open port with this number, or nullptr with the result to return in *result.
    Port* FindPort(uint8_t canPort, int* result);

    CanSocketOpener& opener_;
    CanInterfaceNamer names_;
    std::set<int> openAdapters_;                          // COM numbers
    std::array<std::optional<Port>, kCanPorts> ports_{};  // by CAN port number - 1
    std::string lastDetail_;                              // of the latest call only
};

}  // namespace b6409
