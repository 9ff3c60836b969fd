#pragma once

#include <linux/can.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/socketcan/can_interface_names.h"
#include "link/socketcan/can_library_apis.h"
#include "link/socketcan/can_socket.h"

namespace b6409 {

enum class CardFamily : uint8_t { Pcm, Pcc };

// Results of the card layer. The user sees them in decimal as "(ErrCode:%d)".
namespace card_result {
inline constexpr int kOk = 0;
inline constexpr int kBoardNumber = 1;     // board above 15
inline constexpr int kNotActive = 2;       // the card has not been activated (or was closed)
inline constexpr int kPortNumber = 3;      // CAN port 0 or above 4
inline constexpr int kNoInterface = 4;     // the port's interface is missing or not CAN
inline constexpr int kNotInitialised = 5;  // the port has not been initialised since activation
inline constexpr int kNoCanSupport = 6;    // the kernel offers no CAN sockets
inline constexpr int kSocketFailed = 7;    // the socket could not be made or bound otherwise
inline constexpr int kBadConfig = 8;       // no configuration record, or its filter was refused
inline constexpr int kBadFrame = 9;        // the frame record is no CAN frame
inline constexpr int kTxFull = 10;         // the interface's transmit queue is full
inline constexpr int kDisconnected = 11;   // the interface failed under a send or a receive
inline constexpr int kRxEmpty = 12;        // a receive with nothing waiting
// Results 4, 6, 7, 8 (a refused filter), 10 and 11 come with a LastFailureDetail naming the
// interface and the system's reason.
}  // namespace card_result

inline constexpr int kMaxCardBoard = 15;
inline constexpr int kMaxCardPorts = 4;

// The receive filters of a port configuration. Acceptance code and mask (mask bit 1 = don't
// care) are read as one big-endian word in the single-filter layout common to controllers with
// four acceptance registers: an 11-bit ID in bits 31-21 with its remote bit in 20, a 29-bit ID
// in bits 31-3 with its remote bit in 2. Bits that would match data bytes cannot be filtered on
// and are let through. One filter per frame format; a mask of all ones accepts everything.
std::vector<can_filter> AcceptanceFilters(const CardPortConfig& config);

// The PCI card layers (PCM-1 and PCC-2/PCC-4) over SocketCAN: one object holding the cards of
// both families, one socket per initialised (family, board, port), on the interface its namer
// gives (asked with Pcm1 for a PCM-1 card and with Pcc2 for either PCC card, which the layer
// cannot tell apart). Every call names the family, so a PCM-1 board and a PCC board of the same
// number stay apart. A long-lived object; the links reach it through PcmFacet and PccFacet.
//
// Activating a card makes it known; resetting a port checks that its interface exists and
// drops the port's socket; initialising opens a fresh socket; configuring installs the
// acceptance filter (the bit-rate index is the interface's business, see CanInterfaceNamer)
// and forgets frames that arrived before it. The receive interrupt and its handler are
// bookkeeping: frames are queued by the kernel whether or not they are enabled. Closing a
// card closes all its ports; closing a card that is not active changes nothing.
class SocketCanCards {
  public:
    SocketCanCards(CanSocketOpener& opener, CanInterfaceNamer names)
        : opener_(opener), names_(std::move(names)) {}

    int Activate(CardFamily family, uint8_t board);
    int Reset(CardFamily family, uint8_t board, uint8_t canPort);
    int Init(CardFamily family, uint8_t board, uint8_t canPort);
    int Configure(CardFamily family, uint8_t board, uint8_t canPort, const CardPortConfig* config);
    int EnableInterrupt(CardFamily family, uint8_t board, uint8_t canPort);
    int InstallHandler(CardFamily family, uint8_t board);
    int Send(CardFamily family, uint8_t board, uint8_t canPort, const CardFrameRecord* frame);
    int Count(CardFamily family, uint8_t board, uint8_t canPort);
    bool Wait(CardFamily family, uint8_t board, uint8_t canPort, uint32_t timeoutMs);
    int Receive(CardFamily family, uint8_t board, uint8_t canPort, CardFrameRecord* frame);
    int Close(CardFamily family, uint8_t board);

    // The detail of the latest call, whichever family made it.
    std::string LastFailureDetail() const { return lastDetail_; }

  private:
    struct Port {
        std::optional<CanPortSocket> socket;
        std::string ifname;  // of the socket
        bool receiveInterrupt = false;
    };
    struct Card {
        bool handlerInstalled = false;
        std::array<Port, kMaxCardPorts> ports;
    };

    // The active card, or nullptr with the result to return in *result.
    Card* FindCard(CardFamily family, uint8_t board, int* result);
    // The port of an active card; with needSocket, only an initialised one.
    Port* FindPort(CardFamily family, uint8_t board, uint8_t canPort, bool needSocket, int* result);

    CanSocketOpener& opener_;
    CanInterfaceNamer names_;
    std::map<std::pair<CardFamily, uint8_t>, Card> cards_;  // active cards only
    std::string lastDetail_;                                // of the latest call only
};

// The shared cards as one family's API: the calls both APIs have, forwarded with the family
// named. The two APIs share function names and signatures, so one object deriving from both
// could not tell a PCM-1 board from a PCC board of the same number.
template <typename Api, CardFamily kFamily>
class CardFacet : public Api {
  public:
    explicit CardFacet(SocketCanCards& cards) : cards_(cards) {}

    int ActivateCard(uint8_t board) final { return cards_.Activate(kFamily, board); }
    int InitPort(uint8_t board, uint8_t canPort) final {
        return cards_.Init(kFamily, board, canPort);
    }
    int ConfigurePort(uint8_t board, uint8_t canPort, const CardPortConfig* config) final {
        return cards_.Configure(kFamily, board, canPort, config);
    }
    int SendFrame(uint8_t board, uint8_t canPort, const CardFrameRecord* frame) final {
        return cards_.Send(kFamily, board, canPort, frame);
    }
    int CountReceived(uint8_t board, uint8_t canPort) final {
        return cards_.Count(kFamily, board, canPort);
    }
    int ReceiveFrame(uint8_t board, uint8_t canPort, CardFrameRecord* frame) final {
        return cards_.Receive(kFamily, board, canPort, frame);
    }
    int CloseCard(uint8_t board) final { return cards_.Close(kFamily, board); }
    bool WaitReceived(uint8_t board, uint8_t canPort, uint32_t timeoutMs) final {
        return cards_.Wait(kFamily, board, canPort, timeoutMs);
    }
    std::string LastFailureDetail() const final { return cards_.LastFailureDetail(); }

  protected:
    SocketCanCards& cards_;
};

// PCM-1: the shared calls only.
class PcmFacet final : public CardFacet<PcmApi, CardFamily::Pcm> {
  public:
    using CardFacet::CardFacet;
};

// PCC-2 and PCC-4: the shared calls, the port reset and the receive interrupt.
class PccFacet final : public CardFacet<PccApi, CardFamily::Pcc> {
  public:
    using CardFacet::CardFacet;

    int ResetPort(uint8_t board, uint8_t canPort) override {
        return cards_.Reset(CardFamily::Pcc, board, canPort);
    }
    int EnableReceiveInterrupt(uint8_t board, uint8_t canPort) override {
        return cards_.EnableInterrupt(CardFamily::Pcc, board, canPort);
    }
    int InstallInterruptHandler(uint8_t board) override {
        return cards_.InstallHandler(CardFamily::Pcc, board);
    }
};

}  // namespace b6409
