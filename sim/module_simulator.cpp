#include "sim/module_simulator.h"

#include "protocol/command_kind.h"

namespace b6409::sim {

namespace {

constexpr uint32_t kReplyBit = 0x400;

CanFrame ReplyTo(const CanFrame& request, uint8_t dlc = 8) {
    CanFrame reply;
    reply.id = request.id + kReplyIdOffset;
    reply.dlc = dlc;
    return reply;
}

// Set commands answer with the values they took, which is what a reader of a bus trace
// expects to see; the utility itself only looks at the identifier.
CanFrame EchoReply(const CanFrame& request) {
    CanFrame reply = ReplyTo(request);
    reply.data = request.data;
    return reply;
}

std::vector<TimedFrame> One(const CanFrame& frame) {
    return {TimedFrame{frame, 0}};
}

std::vector<TimedFrame> ErrorReply(uint8_t code) {
    CanFrame reply;
    reply.id = kErrorReplyId;
    reply.dlc = 8;
    reply.data[0] = code;
    return One(reply);
}

CanFrame OtherNodeFrame() {
    CanFrame frame;
    frame.id = kOtherNodeId;
    frame.dlc = 8;
    frame.data = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    return frame;
}

bool TakesTwoFrames(uint8_t entryCode) {
    return entryCode == code::kFilterGid11 || entryCode == code::kFilterGid29 ||
           entryCode == code::kMappingSource11 || entryCode == code::kMappingSource29;
}

}  // namespace

ModuleSimulator::ModuleSimulator(FaultPlan faults) : faults_(faults) {}

std::vector<TimedFrame> ModuleSimulator::Handle(const CanFrame& request) {
    std::lock_guard lock(mutex_);
    // Replies on the bus, our own error replies included, must never be taken for requests:
    // two modules would otherwise keep answering each other.
    if (!request.extended && (request.id & kReplyBit)) return {};

    const int number = ++state_.requestsSeen;
    requests_.push_back(request);
    if (observer_) observer_(request);
    if (faults_.silent) return {};

    std::vector<TimedFrame> frames =
        (number == faults_.errorAtRequest) ? ErrorReply(faults_.errorCode) : Answer(request);
    for (TimedFrame& timed : frames)
        if (++framesSent_ == faults_.pauseBeforeFrame)
            timed.delayBeforeMs += faults_.pauseBeforeFrameMs;
    if (faults_.otherNodeFirst && !frames.empty())
        frames.insert(frames.begin(), TimedFrame{OtherNodeFrame(), 0});
    return frames;
}

std::vector<TimedFrame> ModuleSimulator::Answer(const CanFrame& request) {
    if (request.remote) return ErrorReply(error::kRemote);
    if (request.extended) return ErrorReply(error::kParameterFormat);
    if (request.dlc != 8) return ErrorReply(error::kCommandLength);
    const int port = static_cast<int>((request.id >> 8) & 0x3);
    if (port == 0) return AnswerModuleWide(request);
    if (port > 2) return ErrorReply(error::kCanPort);
    return AnswerPort(request, port);
}

std::vector<TimedFrame> ModuleSimulator::AnswerModuleWide(const CanFrame& request) {
    CanFrame reply = ReplyTo(request);
    switch (request.id & 0xFF) {
        case code::kModuleInfo:
            reply.data[0] = state_.fwMinor;
            reply.data[1] = state_.fwMajor;
            return One(reply);
        case code::kModuleReset:
            ++state_.resets;
            for (int i = 0; i < 2; ++i) filterStaging_[i] = mappingStaging_[i] = Staging{};
            return One(reply);
        case code::kSetBusOff:
            state_.busOffSeconds = request.DataLow();
            return One(EchoReply(request));
        case code::kGetBusOff:
            // The utility reads bytes 0-1; a time beyond 16 bits shows its high half in 2-3.
            reply.SetDataLow(state_.busOffSeconds);
            return One(reply);
        case code::kSetListenOnlyCan1:
        case code::kSetListenOnlyCan2: {
            const int port = (request.id & 0xFF) == code::kSetListenOnlyCan1 ? 0 : 1;
            state_.ports[port].listenOnly = request.DataLow() != 0;
            return One(EchoReply(request));
        }
        case code::kGetListenOnlyCan1:
        case code::kGetListenOnlyCan2: {
            const int port = (request.id & 0xFF) == code::kGetListenOnlyCan1 ? 0 : 1;
            reply.data[0] = state_.ports[port].listenOnly ? 1 : 0;
            return One(reply);
        }
        default:
            return ErrorReply(error::kCommandNumber);
    }
}

std::vector<TimedFrame> ModuleSimulator::AnswerPort(const CanFrame& request, int port) {
    PortState& stored = state_.ports[port - 1];
    Staging& filter = filterStaging_[port - 1];
    Staging& mapping = mappingStaging_[port - 1];
    const uint8_t command = static_cast<uint8_t>(request.id & 0xFF);
    const ListEntry entry{command, request.DataLow(), request.DataHigh()};

    switch (command) {
        case code::kFilterBegin:
            filter = Staging{true, {}};
            return One(EchoReply(request));
        case code::kFilterSid11:
        case code::kFilterGid11:
        case code::kFilterSid29:
        case code::kFilterGid29:
            if (!filter.begun) return ErrorReply(error::kProcess);
            filter.entries.push_back(entry);
            return One(EchoReply(request));
        case code::kFilterEnd:
            if (!filter.begun) return ErrorReply(error::kProcess);
            stored.filter = std::move(filter.entries);
            filter = Staging{};
            return One(EchoReply(request));
        case code::kFilterAcceptAll:
            stored.filter.clear();
            filter = Staging{};
            return One(EchoReply(request));
        case code::kFilterRead:
            return ReadList(request, stored.filter);

        case code::kMappingBegin:
            mapping = Staging{true, {}};
            return One(EchoReply(request));
        case code::kMappingSource11:
        case code::kMappingSource29:
            if (!mapping.begun) return ErrorReply(error::kProcess);
            mapping.entries.push_back(entry);
            return One(EchoReply(request));
        case code::kMappingEnd:
            if (!mapping.begun) return ErrorReply(error::kProcess);
            stored.mapping = std::move(mapping.entries);
            mapping = Staging{};
            return One(EchoReply(request));
        case code::kMappingNone:
            stored.mapping.clear();
            mapping = Staging{};
            return One(EchoReply(request));
        case code::kMappingRead:
            return ReadList(request, stored.mapping);

        case code::kSetUserBaud:
            stored.userBaud = std::make_pair(request.Word(0), request.Word(2));
            return One(EchoReply(request));
        case code::kGetUserBaud: {
            if (!stored.userBaud) return One(ReplyTo(request, 1));
            CanFrame reply = ReplyTo(request);
            reply.SetDataLow(uint32_t(stored.userBaud->first) | uint32_t(stored.userBaud->second)
                                                                    << 16);
            return One(reply);
        }
        default:
            return ErrorReply(error::kCommandNumber);
    }
}

std::vector<TimedFrame> ModuleSimulator::ReadList(const CanFrame& request,
                                                  const std::vector<ListEntry>& list) {
    const unsigned pause = faults_.entryPauseMs;
    std::vector<TimedFrame> frames;
    auto addEntryFrame = [&](uint8_t entryCode, uint32_t value) {
        CanFrame frame = ReplyTo(request);
        frame.SetDataLow(uint32_t(entryCode) << 16);
        frame.SetDataHigh(value);
        frames.push_back({frame, pause});
    };
    for (const ListEntry& entry : list) {
        addEntryFrame(entry.code, entry.first);
        if (TakesTwoFrames(entry.code)) addEntryFrame(entry.code, entry.second);
    }
    frames.push_back({ReplyTo(request, 1), pause});
    return frames;
}

ModuleState ModuleSimulator::Snapshot() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void ModuleSimulator::SetState(const ModuleState& state) {
    std::lock_guard lock(mutex_);
    state_ = state;
}

void ModuleSimulator::SetFaults(const FaultPlan& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

FaultPlan ModuleSimulator::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

std::vector<CanFrame> ModuleSimulator::RequestsSeen() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void ModuleSimulator::SetRequestObserver(std::function<void(const CanFrame&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

}  // namespace b6409::sim
