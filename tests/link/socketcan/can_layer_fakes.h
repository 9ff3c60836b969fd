#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/can.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/clock.h"
#include "common/text_format.h"
#include "link/socketcan/can_interface_names.h"
#include "link/socketcan/can_library_apis.h"
#include "link/socketcan/can_socket.h"
#include "support/can_socket_pair.h"

namespace b6409::test {

// CAN_RAW's receive rule: a frame is delivered when any filter matches it (once, however many
// do), a filter with CAN_INV_FILTER when it does not match, and with no filters at all nothing
// is. Error frames come only to a socket that set an error mask, which the layers never do.
inline bool KernelDelivers(const std::vector<can_filter>& filters, canid_t id) {
    if (id & CAN_ERR_FLAG) return false;
    for (can_filter filter : filters) {
        // A filter on the error bit subscribes error frames only.
        if (filter.can_mask & CAN_ERR_FLAG) continue;
        // An 11-bit filter that cares for the format cannot care for bits above the 11th.
        if ((filter.can_mask & CAN_EFF_FLAG) && !(filter.can_id & CAN_EFF_FLAG))
            filter.can_mask &= CAN_SFF_MASK | CAN_EFF_FLAG | CAN_RTR_FLAG;
        const bool matches = (id & filter.can_mask) == (filter.can_id & filter.can_mask);
        if (matches != bool(filter.can_id & CAN_INV_FILTER)) return true;
    }
    return false;
}

// Hands the layers one end of a SOCK_SEQPACKET socketpair per open; the test plays the module
// (or the bus) on the other end, found by interface name. What the kernel decides for a bound
// CAN_RAW socket is decided here as well, so that the layers meet the same results: binding
// to an interface that is down succeeds but sending fails with ENETDOWN; an interface going
// down leaves ENETDOWN for the next call on its sockets, one that is removed ENODEV (and
// sends then fail with ENXIO, as the socket is bound to nothing); a missing interface fails
// the bind with ENODEV; only frames passing the socket's filters are read.
class SocketPairOpener : public CanSocketOpener {
  public:
    std::set<std::string> interfaces{"can0", "can1", "can2", "can3"};
    std::vector<std::string> opened;                 // interface names, in order
    std::map<std::string, int> moduleEnd;            // latest far end per interface
    std::map<std::string, int> layerEnd;             // latest layer end per interface
    std::map<int, std::vector<can_filter>> filters;  // by layer end, once set

    ~SocketPairOpener() override {
        for (int fd : farEnds_) close(fd);
    }

    // As `ip link set IFNAME down` and `up`.
    void SetDown(const std::string& ifname, bool isDown) {
        if (isDown && !down_.count(ifname)) Notify(ifname, ENETDOWN);
        if (isDown)
            down_.insert(ifname);
        else
            down_.erase(ifname);
    }
    // As `ip link del IFNAME`.
    void Remove(const std::string& ifname) {
        interfaces.erase(ifname);
        down_.erase(ifname);
        Notify(ifname, ENODEV);
        for (auto& [fd, bound] : boundTo_)
            if (bound == ifname) bound.clear();
    }

    int OpenBound(const std::string& ifname, int* errorOut) override {
        if (!interfaces.count(ifname)) {
            *errorOut = ENODEV;
            return -1;
        }
        int farEnd = -1;
        const int fd = OpenCanSocketPair(&farEnd, errorOut);
        if (fd < 0) return -1;
        opened.push_back(ifname);
        moduleEnd[ifname] = farEnd;
        layerEnd[ifname] = fd;
        farEnds_.push_back(farEnd);
        // The number may be one a closed socket had.
        boundTo_[fd] = ifname;
        pendingError_.erase(fd);
        filters.erase(fd);
        return fd;
    }
    bool InterfaceExists(const std::string& ifname) override { return interfaces.count(ifname); }
    int SetReceiveFilters(int fd, const std::vector<can_filter>& list) override {
        filters[fd] = list;
        return 0;
    }
    // In the kernel's order: the interface is looked up, then a pending error is reported (and
    // cleared), then an interface that is down refuses the frame.
    int Send(int fd, const can_frame& frame) override {
        const std::string& bound = boundTo_.at(fd);
        if (bound.empty()) return ENXIO;
        if (const int error = TakePendingError(fd)) return error;
        if (down_.count(bound)) return ENETDOWN;
        return WriteCanFrame(fd, frame);
    }
    // Filters are applied as frames are read rather than as they arrive; the layers forget
    // what is waiting whenever they set them, so the difference never shows.
    int Receive(int fd, can_frame* frame) override {
        if (const int error = TakePendingError(fd)) return error;
        // Until a socket sets its own, one filter lets every frame through.
        static const std::vector<can_filter> kDefaultFilters{{0, 0}};
        const auto set = filters.find(fd);
        const auto& active = set != filters.end() ? set->second : kDefaultFilters;
        for (;;) {
            const int result = ReadCanFrame(fd, frame);
            if (result != 0 || KernelDelivers(active, frame->can_id)) return result;
        }
    }

  private:
    void Notify(const std::string& ifname, int error) {
        for (const auto& [fd, bound] : boundTo_)
            if (bound == ifname) pendingError_[fd] = error;
    }
    int TakePendingError(int fd) {
        const auto found = pendingError_.find(fd);
        if (found == pendingError_.end()) return 0;
        const int error = found->second;
        pendingError_.erase(found);
        return error;
    }

    std::vector<int> farEnds_;
    std::set<std::string> down_;
    std::map<int, std::string> boundTo_;  // by layer end; empty once its interface is removed
    std::map<int, int> pendingError_;     // by layer end
};

// Names the interfaces as the default mapping does with nothing set (CAN port p is can<p-1>),
// except the ports given a name of their own; the environment is not read.
class InterfaceNames {
  public:
    // By kind, COM or board number, and CAN port.
    std::map<std::tuple<DeviceKind, int, int>, std::string> own;

    CanInterfaceNamer Namer() {
        return [this](DeviceKind kind, int deviceOrBoard, int canPort) {
            const auto found = own.find({kind, deviceOrBoard, canPort});
            return found != own.end() ? found->second : FormatText("can%d", canPort - 1);
        };
    }
};

inline can_frame Frame(canid_t id, std::vector<uint8_t> bytes = {}, uint8_t dlc = 8) {
    can_frame frame{};
    frame.can_id = id;
    frame.len = dlc;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) frame.data[i] = bytes[i];
    return frame;
}

inline void Put(int fd, const can_frame& frame) {
    ASSERT_EQ(send(fd, &frame, sizeof frame, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof frame));
}

// The next record on the module's end; nullopt when none is waiting or the layer has closed
// its end.
inline std::optional<can_frame> Take(int fd) {
    can_frame frame{};
    if (recv(fd, &frame, sizeof frame, MSG_DONTWAIT) != static_cast<ssize_t>(sizeof frame))
        return std::nullopt;
    return frame;
}

inline bool PeerClosed(int fd) {
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

// Instead of waiting, lets the module answer: every request waiting on any interface gets a
// reply on its identifier plus 0x400 carrying firmware version 1.05.
class ModuleOnSleep : public Clock {
  public:
    explicit ModuleOnSleep(SocketPairOpener& opener) : opener_(opener) {}
    std::vector<std::pair<std::string, can_frame>> requests;

    uint64_t NowMs() override { return now_; }
    void SleepMs(unsigned ms) override {
        now_ += ms;
        for (auto& [ifname, fd] : opener_.moduleEnd) {
            while (auto request = Take(fd)) {
                requests.emplace_back(ifname, *request);
                Put(fd, Frame((request->can_id & CAN_SFF_MASK) + 0x400, {0x05, 0x01}));
            }
        }
    }

  private:
    SocketPairOpener& opener_;
    uint64_t now_ = 0;
};

// Sets an environment variable for the life of the guard.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
    ~ScopedEnv() { unsetenv(name_); }

  private:
    const char* name_;
};

// Records every call to a layer as "Name(arg,...)". With a layer to forward to it is a spy;
// without one it is a fake that answers from `results` (by name; default 0, a count of 1) and
// delivers the firmware reply 0x401 with version 1.05.
class CallLog {
  public:
    std::vector<std::string> calls;
    std::map<std::string, int> results;
    std::string detail;  // what a fake tells of its failures

  protected:
    template <typename Forward, typename... Args>
    int Log(bool forwarding, const std::string& name, Forward forward, const Args&... args) {
        std::string text;
        for (const std::string& arg : {Text(args)...})
            if (!arg.empty()) text += (text.empty() ? "" : ",") + arg;
        calls.push_back(name + "(" + text + ")");
        if (forwarding) return forward();
        auto found = results.find(name);
        return found != results.end() ? found->second : name == "CountReceived" ? 1 : 0;
    }

    template <typename Record>
    static void FillReply(Record* record) {
        *record = Record{};
        record->dlc = 8;
        record->id = 0x401;
        record->data[0] = 0x05;
        record->data[1] = 0x01;
    }

  private:
    static std::string Text(int value) { return std::to_string(value); }
    static std::string Text(const UhvOpenRecord* r) {
        return FormatText("port=%d,kind=%d,can1=%u,can2=%u", r->devicePort, r->deviceKind,
                          r->bitRateCan1, r->bitRateCan2);
    }
    static std::string Text(const CardPortConfig* c) {
        const uint8_t *code = c->acceptanceCode, *mask = c->acceptanceMask;
        return FormatText("code=%02X%02X%02X%02X,mask=%02X%02X%02X%02X,rate=%d", code[0], code[1],
                          code[2], code[3], mask[0], mask[1], mask[2], mask[3], c->bitRateIndex);
    }
    template <typename Record>
    static std::string Text(const Record* r) {
        return FormatText("format=%d,remote=%d,dlc=%d,id=0x%03X", r->format, r->remote, r->dlc,
                          static_cast<unsigned>(r->id));
    }
    // Buffers the layer fills in say nothing about the call.
    template <typename Out>
    static std::string Text(Out*) {
        return {};
    }
};

// Logs a call under its own name and forwards it with the same arguments.
#define B6409_LOGGED(call, ...) \
    Log(                        \
        inner_ != nullptr, #call, [&] { return inner_->call(__VA_ARGS__); }, __VA_ARGS__)

class UhvSpy : public UhvCanApi, public CallLog {
  public:
    explicit UhvSpy(UhvCanApi* inner = nullptr) : inner_(inner) {}

    int OpenAdapter(const UhvOpenRecord* r) override { return B6409_LOGGED(OpenAdapter, r); }
    int PrepareSend(uint8_t p) override { return B6409_LOGGED(PrepareSend, p); }
    int SendFrame(uint8_t p, const UhvFrameRecord* f) override {
        return B6409_LOGGED(SendFrame, p, f);
    }
    int CountReceived(uint8_t p, uint32_t* count) override {
        if (!inner_) *count = 1;
        return B6409_LOGGED(CountReceived, p, count);
    }
    int ReceiveFrame(uint8_t p, UhvFrameRecord* f) override {
        if (!inner_) FillReply(f);
        return B6409_LOGGED(ReceiveFrame, p, f);
    }
    int CloseAdapter(uint8_t d) override { return B6409_LOGGED(CloseAdapter, d); }
    std::string LastFailureDetail() const override {
        return inner_ ? inner_->LastFailureDetail() : detail;
    }

  private:
    UhvCanApi* inner_;
};

// The calls both card families have.
template <typename Api>
class CardSpy : public Api, public CallLog {
  public:
    explicit CardSpy(Api* inner = nullptr) : inner_(inner) {}

    int ActivateCard(uint8_t b) override { return B6409_LOGGED(ActivateCard, b); }
    int InitPort(uint8_t b, uint8_t p) override { return B6409_LOGGED(InitPort, b, p); }
    int ConfigurePort(uint8_t b, uint8_t p, const CardPortConfig* c) override {
        return B6409_LOGGED(ConfigurePort, b, p, c);
    }
    int SendFrame(uint8_t b, uint8_t p, const CardFrameRecord* f) override {
        return B6409_LOGGED(SendFrame, b, p, f);
    }
    int CountReceived(uint8_t b, uint8_t p) override { return B6409_LOGGED(CountReceived, b, p); }
    int ReceiveFrame(uint8_t b, uint8_t p, CardFrameRecord* f) override {
        if (!inner_) FillReply(f);
        return B6409_LOGGED(ReceiveFrame, b, p, f);
    }
    int CloseCard(uint8_t b) override { return B6409_LOGGED(CloseCard, b); }
    std::string LastFailureDetail() const override {
        return inner_ ? inner_->LastFailureDetail() : detail;
    }

  protected:
    Api* inner_;
};

using PcmSpy = CardSpy<PcmApi>;

class PccSpy : public CardSpy<PccApi> {
  public:
    using CardSpy<PccApi>::CardSpy;

    int ResetPort(uint8_t b, uint8_t p) override { return B6409_LOGGED(ResetPort, b, p); }
    int EnableReceiveInterrupt(uint8_t b, uint8_t p) override {
        return B6409_LOGGED(EnableReceiveInterrupt, b, p);
    }
    int InstallInterruptHandler(uint8_t b) override {
        return B6409_LOGGED(InstallInterruptHandler, b);
    }
};

#undef B6409_LOGGED

}  // namespace b6409::test
