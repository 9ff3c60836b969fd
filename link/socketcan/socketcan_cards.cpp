#include "link/socketcan/socketcan_cards.h"

#include <cerrno>

namespace b6409 {

using namespace card_result;

namespace {

DeviceKind NamingKind(CardFamily family) {
    return family == CardFamily::Pcm ? DeviceKind::Pcm1 : DeviceKind::Pcc2;
}

uint32_t BigEndianWord(const uint8_t bytes[4]) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
           uint32_t(bytes[3]);
}

// One format's filter: the ID field of the word starts at idShift, its remote bit just below.
can_filter FormatFilter(uint32_t code, uint32_t careBits, int idShift, uint32_t idMask,
                        bool extended) {
    const uint32_t remoteBit = 1u << (idShift - 1);
    can_filter filter{};
    filter.can_id = (code >> idShift) & idMask;
    filter.can_mask = ((careBits >> idShift) & idMask) | CAN_EFF_FLAG;
    if (extended) filter.can_id |= CAN_EFF_FLAG;
    if (careBits & remoteBit) {
        filter.can_mask |= CAN_RTR_FLAG;
        if (code & remoteBit) filter.can_id |= CAN_RTR_FLAG;
    }
    return filter;
}

}  // namespace

std::vector<can_filter> AcceptanceFilters(const CardPortConfig& config) {
    const uint32_t code = BigEndianWord(config.acceptanceCode);
    const uint32_t careBits = ~BigEndianWord(config.acceptanceMask);
    return {FormatFilter(code, careBits, 21, CAN_SFF_MASK, false),
            FormatFilter(code, careBits, 3, CAN_EFF_MASK, true)};
}

SocketCanCards::Card* SocketCanCards::FindCard(CardFamily family, uint8_t board, int* result) {
    if (board > kMaxCardBoard) {
        *result = kBoardNumber;
        return nullptr;
    }
    auto found = cards_.find({family, board});
    if (found == cards_.end()) {
        *result = kNotActive;
        return nullptr;
    }
    *result = kOk;
    return &found->second;
}

SocketCanCards::Port* SocketCanCards::FindPort(CardFamily family, uint8_t board, uint8_t canPort,
                                               bool needSocket, int* result) {
    Card* card = FindCard(family, board, result);
    if (!card) return nullptr;
    if (canPort < 1 || canPort > kMaxCardPorts) {
        *result = kPortNumber;
        return nullptr;
    }
    Port& port = card->ports[canPort - 1];
    if (needSocket && !port.socket) {
        *result = kNotInitialised;
        return nullptr;
    }
    return &port;
}

int SocketCanCards::Activate(CardFamily family, uint8_t board) {
    lastDetail_.clear();
    if (board > kMaxCardBoard) return kBoardNumber;
    cards_.try_emplace({family, board});
    return kOk;
}

int SocketCanCards::Reset(CardFamily family, uint8_t board, uint8_t canPort) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, false, &result);
    if (!port) return result;
    *port = Port{};
    const std::string ifname = names_(NamingKind(family), board, canPort);
    if (!opener_.InterfaceExists(ifname)) {
        lastDetail_ = CanInterfaceDetail(ifname, ENODEV);
        return kNoInterface;
    }
    return kOk;
}

int SocketCanCards::Init(CardFamily family, uint8_t board, uint8_t canPort) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, false, &result);
    if (!port) return result;
    *port = Port{};
    std::string ifname = names_(NamingKind(family), board, canPort);
    int error = 0;
    const int fd = opener_.OpenBound(ifname, &error);
    if (fd < 0) {
        lastDetail_ = CanInterfaceDetail(ifname, error);
        if (error == ENODEV || error == ENXIO) return kNoInterface;
        if (error == EAFNOSUPPORT || error == EPROTONOSUPPORT) return kNoCanSupport;
        return kSocketFailed;
    }
    port->socket.emplace(opener_, fd);
    port->ifname = std::move(ifname);
    return kOk;
}

int SocketCanCards::Configure(CardFamily family, uint8_t board, uint8_t canPort,
                              const CardPortConfig* config) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, true, &result);
    if (!port) return result;
    if (!config) return kBadConfig;
    if (const int error = opener_.SetReceiveFilters(port->socket->fd(), AcceptanceFilters(*config));
        error != 0) {
        lastDetail_ = CanInterfaceDetail(port->ifname, error);
        return kBadConfig;
    }
    port->socket->DiscardWaiting();
    return kOk;
}

int SocketCanCards::EnableInterrupt(CardFamily family, uint8_t board, uint8_t canPort) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, true, &result);
    if (port) port->receiveInterrupt = true;
    return result;
}

int SocketCanCards::InstallHandler(CardFamily family, uint8_t board) {
    lastDetail_.clear();
    int result = kOk;
    if (Card* card = FindCard(family, board, &result)) card->handlerInstalled = true;
    return result;
}

int SocketCanCards::Send(CardFamily family, uint8_t board, uint8_t canPort,
                         const CardFrameRecord* frame) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, true, &result);
    if (!port) return result;
    can_frame out;
    if (!frame || !RecordToCanFrame(*frame, &out)) return kBadFrame;
    const int error = port->socket->Write(out);
    if (error == 0) return kOk;
    lastDetail_ = CanInterfaceDetail(port->ifname, error);
    // CAN_RAW answers a full transmit queue with ENOBUFS rather than blocking.
    if (error == ENOBUFS || error == EAGAIN) return kTxFull;
    return kDisconnected;
}

int SocketCanCards::Count(CardFamily family, uint8_t board, uint8_t canPort) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, true, &result);
    return port ? static_cast<int>(port->socket->WaitingCount()) : 0;
}

bool SocketCanCards::Wait(CardFamily family, uint8_t board, uint8_t canPort, uint32_t timeoutMs) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, true, &result);
    return port && port->socket->WaitReadable(timeoutMs);
}

int SocketCanCards::Receive(CardFamily family, uint8_t board, uint8_t canPort,
                            CardFrameRecord* frame) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(family, board, canPort, true, &result);
    if (!port) return result;
    if (!frame) return kBadFrame;
    can_frame in{};
    const int error = port->socket->Take(&in);
    if (error == EAGAIN) return kRxEmpty;
    if (error != 0) {
        lastDetail_ = CanInterfaceDetail(port->ifname, error);
        return kDisconnected;
    }
    CanFrameToRecord(in, frame);
    return kOk;
}

int SocketCanCards::Close(CardFamily family, uint8_t board) {
    lastDetail_.clear();
    int result = kOk;
    if (FindCard(family, board, &result)) cards_.erase({family, board});
    return result;
}

}  // namespace b6409
