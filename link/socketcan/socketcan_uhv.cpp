#include "link/socketcan/socketcan_uhv.h"

#include <cerrno>
#include <tuple>
#include <vector>

namespace b6409 {

namespace {

enum UhvResult : int {
    kOk = 0,
    kModName = 1,
    kModNotExist = 2,
    kPortNotExist = 3,
    kPortInUse = 4,
    kPortNotOpen = 5,
    kConfigFail = 6,
    kHardware = 7,
    kPortNo = 8,
    kFidLength = 9,
    kDevDisconnect = 10,
    kRxBufEmpty = 14,
    kTxBufFull = 15,
};

int OpenErrorResult(int error) {
    switch (error) {
        case ENODEV:
        case ENXIO:
            return kPortNotExist;
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT:
            return kModNotExist;
        default:
            return kHardware;
    }
}

}  // namespace

int SocketCanUhv::OpenAdapter(const UhvOpenRecord* record) {
    lastDetail_.clear();
    if (!record) return kConfigFail;
    if (record->deviceKind != 1 && record->deviceKind != 2) return kModName;
    const DeviceKind kind = record->deviceKind == 1 ? DeviceKind::Uhv1 : DeviceKind::Uhv2;
    const int comNumber = record->devicePort == 0 ? 256 : record->devicePort;
    if (openAdapters_.count(comNumber)) return kPortInUse;

    const uint32_t rates[kCanPorts] = {record->bitRateCan1, record->bitRateCan2};
    if (kind == DeviceKind::Uhv1 && rates[1] != 0) return kPortNo;
    if (rates[0] == 0 && rates[1] == 0) return kConfigFail;
    for (int i = 0; i < kCanPorts; ++i)
        if (rates[i] != 0 && ports_[i]) return kPortInUse;

    // All ports or none: a half-opened adapter would outlive the failed open.
    std::vector<std::tuple<int, std::string, CanPortSocket>> opened;
    for (int i = 0; i < kCanPorts; ++i) {
        if (rates[i] == 0) continue;
        std::string ifname = names_(kind, comNumber, i + 1);
        int error = 0;
        const int fd = opener_.OpenBound(ifname, &error);
        if (fd < 0) {
            lastDetail_ = CanInterfaceDetail(ifname, error);
            return OpenErrorResult(error);
        }
        opened.emplace_back(i, std::move(ifname), CanPortSocket(opener_, fd));
    }
    for (auto& [index, ifname, socket] : opened)
        ports_[index].emplace(Port{comNumber, rates[index], std::move(ifname), std::move(socket)});
    openAdapters_.insert(comNumber);
    return kOk;
}

SocketCanUhv::Port* SocketCanUhv::FindPort(uint8_t canPort, int* result) {
    if (canPort < 1 || canPort > kCanPorts) {
        *result = kPortNo;
        return nullptr;
    }
    auto& port = ports_[canPort - 1];
    if (!port) {
        *result = kPortNotOpen;
        return nullptr;
    }
    *result = kOk;
    return &*port;
}

int SocketCanUhv::PrepareSend(uint8_t canPort) {
    lastDetail_.clear();
    int result = kOk;
    if (Port* port = FindPort(canPort, &result)) port->socket.DiscardWaiting();
    return result;
}

int SocketCanUhv::SendFrame(uint8_t canPort, const UhvFrameRecord* frame) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(canPort, &result);
    if (!port) return result;
    can_frame out;
    if (!frame || !RecordToCanFrame(*frame, &out)) return kFidLength;
    const int error = port->socket.Write(out);
    if (error == 0) return kOk;
    lastDetail_ = CanInterfaceDetail(port->ifname, error);
    // CAN_RAW answers a full transmit queue with ENOBUFS rather than blocking.
    if (error == ENOBUFS || error == EAGAIN) return kTxBufFull;
    return kDevDisconnect;
}

int SocketCanUhv::CountReceived(uint8_t canPort, uint32_t* count) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(canPort, &result);
    const uint32_t waiting = port ? static_cast<uint32_t>(port->socket.WaitingCount()) : 0;
    if (count) *count = waiting;
    return result;
}

bool SocketCanUhv::WaitReceived(uint8_t canPort, uint32_t timeoutMs) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(canPort, &result);
    return port && port->socket.WaitReadable(timeoutMs);
}

int SocketCanUhv::ReceiveFrame(uint8_t canPort, UhvFrameRecord* frame) {
    lastDetail_.clear();
    int result = kOk;
    Port* port = FindPort(canPort, &result);
    if (!port) return result;
    if (!frame) return kFidLength;
    can_frame in{};
    const int error = port->socket.Take(&in);
    if (error == EAGAIN) return kRxBufEmpty;
    if (error != 0) {
        lastDetail_ = CanInterfaceDetail(port->ifname, error);
        return kDevDisconnect;
    }
    CanFrameToRecord(in, frame);
    return kOk;
}

int SocketCanUhv::CloseAdapter(uint8_t devicePort) {
    lastDetail_.clear();
    const int comNumber = devicePort == 0 ? 256 : devicePort;
    if (!openAdapters_.erase(comNumber)) return kPortNotOpen;
    for (auto& port : ports_)
        if (port && port->comNumber == comNumber) port.reset();
    return kOk;
}

uint32_t SocketCanUhv::RequestedBitRate(uint8_t canPort) const {
    if (canPort < 1 || canPort > kCanPorts || !ports_[canPort - 1]) return 0;
    return ports_[canPort - 1]->bitRate;
}

}  // namespace b6409
