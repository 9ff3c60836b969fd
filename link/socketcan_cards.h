#pragma once

#include <linux/can.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/can_library_apis.h"
#include "link/can_socket.h"

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

// The calls of both card families, told which family is calling.
class CardFamilyCalls {
  public:
    virtual ~CardFamilyCalls() = default;

  protected:
    virtual int Activate(CardFamily family, uint8_t board) = 0;
    virtual int Reset(CardFamily family, uint8_t board, uint8_t canPort) = 0;
    virtual int Init(CardFamily family, uint8_t board, uint8_t canPort) = 0;
    virtual int Configure(CardFamily family, uint8_t board, uint8_t canPort,
                          const CardPortConfig* config) = 0;
    virtual int EnableInterrupt(CardFamily family, uint8_t board, uint8_t canPort) = 0;
    virtual int InstallHandler(CardFamily family, uint8_t board) = 0;
    virtual int Send(CardFamily family, uint8_t board, uint8_t canPort,
                     const CardFrameRecord* frame) = 0;
    virtual int Count(CardFamily family, uint8_t board, uint8_t canPort) = 0;
    virtual int Receive(CardFamily family, uint8_t board, uint8_t canPort,
                        CardFrameRecord* frame) = 0;
    virtual int Close(CardFamily family, uint8_t board) = 0;
};

// The two APIs share function names and signatures, so one class deriving from both could not
// tell a PCM-1 board from a PCC board of the same number. These facets name the family.
class PcmFacet : public PcmApi, protected virtual CardFamilyCalls {
  public:
    int ActivateCard(uint8_t board) final { return Activate(CardFamily::Pcm, board); }
    int InitPort(uint8_t board, uint8_t canPort) final {
        return Init(CardFamily::Pcm, board, canPort);
    }
    int ConfigurePort(uint8_t board, uint8_t canPort, const CardPortConfig* config) final {
        return Configure(CardFamily::Pcm, board, canPort, config);
    }
    int SendFrame(uint8_t board, uint8_t canPort, const CardFrameRecord* frame) final {
        return Send(CardFamily::Pcm, board, canPort, frame);
    }
    int CountReceived(uint8_t board, uint8_t canPort) final {
        return Count(CardFamily::Pcm, board, canPort);
    }
    int ReceiveFrame(uint8_t board, uint8_t canPort, CardFrameRecord* frame) final {
        return Receive(CardFamily::Pcm, board, canPort, frame);
    }
    int CloseCard(uint8_t board) final { return Close(CardFamily::Pcm, board); }
};

class PccFacet : public PccApi, protected virtual CardFamilyCalls {
  public:
    int ActivateCard(uint8_t board) final { return Activate(CardFamily::Pcc, board); }
    int ResetPort(uint8_t board, uint8_t canPort) final {
        return Reset(CardFamily::Pcc, board, canPort);
    }
    int InitPort(uint8_t board, uint8_t canPort) final {
        return Init(CardFamily::Pcc, board, canPort);
    }
    int ConfigurePort(uint8_t board, uint8_t canPort, const CardPortConfig* config) final {
        return Configure(CardFamily::Pcc, board, canPort, config);
    }
    int EnableReceiveInterrupt(uint8_t board, uint8_t canPort) final {
        return EnableInterrupt(CardFamily::Pcc, board, canPort);
    }
    int InstallInterruptHandler(uint8_t board) final {
        return InstallHandler(CardFamily::Pcc, board);
    }
    int SendFrame(uint8_t board, uint8_t canPort, const CardFrameRecord* frame) final {
        return Send(CardFamily::Pcc, board, canPort, frame);
    }
    int CountReceived(uint8_t board, uint8_t canPort) final {
        return Count(CardFamily::Pcc, board, canPort);
    }
    int ReceiveFrame(uint8_t board, uint8_t canPort, CardFrameRecord* frame) final {
        return Receive(CardFamily::Pcc, board, canPort, frame);
    }
    int CloseCard(uint8_t board) final { return Close(CardFamily::Pcc, board); }
};

// The PCI card layers (PCM-1 and PCC-2/PCC-4) over SocketCAN: one object serving both APIs,
// one socket per initialised (family, board, port), on the interface CanInterfaceName gives.
// A long-lived object; hand it to PcmLink or PccLink as a PcmApi& or PccApi&.
//
// Activating a card makes it known; resetting a port checks that its interface exists and
// drops the port's socket; initialising opens a fresh socket; configuring installs the
// acceptance filter (the bit-rate index is the interface's business, see CanInterfaceName)
// and forgets frames that arrived before it. The receive interrupt and its handler are
// bookkeeping: frames are queued by the kernel whether or not they are enabled. Closing a
// card closes all its ports; closing a card that is not active changes nothing.
class SocketCanCards final : public PcmFacet, public PccFacet {
  public:
    explicit SocketCanCards(CanSocketOpener& opener) : opener_(opener) {}

    PcmApi& Pcm() { return *this; }
    PccApi& Pcc() { return *this; }

    // Of both facets: the detail of the latest call, whichever family made it.
    std::string LastFailureDetail() const override { return lastDetail_; }

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

    int Activate(CardFamily family, uint8_t board) override;
    int Reset(CardFamily family, uint8_t board, uint8_t canPort) override;
    int Init(CardFamily family, uint8_t board, uint8_t canPort) override;
    int Configure(CardFamily family, uint8_t board, uint8_t canPort,
                  const CardPortConfig* config) override;
    int EnableInterrupt(CardFamily family, uint8_t board, uint8_t canPort) override;
    int InstallHandler(CardFamily family, uint8_t board) override;
    int Send(CardFamily family, uint8_t board, uint8_t canPort,
             const CardFrameRecord* frame) override;
    int Count(CardFamily family, uint8_t board, uint8_t canPort) override;
    int Receive(CardFamily family, uint8_t board, uint8_t canPort, CardFrameRecord* frame) override;
    int Close(CardFamily family, uint8_t board) override;

    // The active card, or nullptr with the result to return in *result.
    Card* FindCard(CardFamily family, uint8_t board, int* result);
    // The port of an active card; with needSocket, only an initialised one.
    Port* FindPort(CardFamily family, uint8_t board, uint8_t canPort, bool needSocket, int* result);

    CanSocketOpener& opener_;
    std::map<std::pair<CardFamily, uint8_t>, Card> cards_;  // active cards only
    std::string lastDetail_;                                // of the latest call only
};

}  // namespace b6409
