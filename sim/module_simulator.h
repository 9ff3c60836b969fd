#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "link/can_frame.h"
#include "sim/fault_plan.h"

namespace b6409::sim {

// One downloaded list entry, kept exactly as its request carried it: for single IDs `second`
// is 0xFFFFFFFF, for mappings it keeps the target-width bit 31.
struct ListEntry {
    uint8_t code = 0;
    uint32_t first = 0;
    uint32_t second = 0;

    bool operator==(const ListEntry&) const = default;
};

struct PortState {
    std::optional<std::pair<uint16_t, uint16_t>> userBaud;  // integer part, fraction digits
    bool listenOnly = false;
    std::vector<ListEntry> filter;   // empty = accept every ID
    std::vector<ListEntry> mapping;  // empty = no mapping
};

struct ModuleState {
    uint8_t fwMajor = 1;
    uint8_t fwMinor = 0x05;
    uint32_t busOffSeconds = 0;
    PortState ports[2];  // CAN1, CAN2
    int resets = 0;
    int requestsSeen = 0;
};

struct TimedFrame {
    CanFrame frame;
    unsigned delayBeforeMs = 0;
};

// Identifier of the frame another node puts on the bus when FaultPlan::otherNodeFirst is set.
inline constexpr uint32_t kOtherNodeId = 0x3A5;
// Error replies leave on an identifier the utility never expects as a reply.
inline constexpr uint32_t kErrorReplyId = 0x7FF;

// Error codes the module uses for requests it refuses.
namespace error {
inline constexpr uint8_t kProcess = 1;          // entry or end without a begin
inline constexpr uint8_t kParameterFormat = 2;  // 29-bit request identifier
inline constexpr uint8_t kCommandNumber = 4;    // unknown command code
inline constexpr uint8_t kCanPort = 5;          // module port other than 1 or 2
inline constexpr uint8_t kCommandLength = 6;    // DLC other than 8
inline constexpr uint8_t kRemote = 7;           // remote frame
}  // namespace error

// The B-6409 module as seen from the bus: one request in, the frames it answers with out.
// Thread-safe: one thread serves it while tests inspect or preset it from another.
//
// A reset counts in `resets` and abandons any list download in progress; everything stored
// (bit rates, lists, bus-off time, listen-only) survives it, as the module keeps its
// configuration in non-volatile memory.
class ModuleSimulator {
  public:
    explicit ModuleSimulator(FaultPlan faults = {});

    // The frames the module puts on the bus in answer, in order. Frames with bit 10 of the
    // identifier set are replies (ours or another module's) and are not answered or counted.
    std::vector<TimedFrame> Handle(const CanFrame& request);

    ModuleState Snapshot() const;
    void SetState(const ModuleState& state);
    void SetFaults(const FaultPlan& faults);
    FaultPlan Faults() const;

    // Every request received so far, in order, the unanswered ones included.
    std::vector<CanFrame> RequestsSeen() const;
    // Called with each request as it arrives, before it is answered (under the module's lock:
    // the observer must not call back into the module).
    void SetRequestObserver(std::function<void(const CanFrame&)> observer);

  private:
    // A list download between its begin and end steps.
    struct Staging {
        bool begun = false;
        std::vector<ListEntry> entries;
    };

    std::vector<TimedFrame> Answer(const CanFrame& request);
    std::vector<TimedFrame> AnswerModuleWide(const CanFrame& request);
    std::vector<TimedFrame> AnswerPort(const CanFrame& request, int port);
    std::vector<TimedFrame> ReadList(const CanFrame& request, const std::vector<ListEntry>& list);

    mutable std::mutex mutex_;
    FaultPlan faults_;
    ModuleState state_;
    std::vector<CanFrame> requests_;
    std::function<void(const CanFrame&)> observer_;
    int framesSent_ = 0;  // over the module's life, for FaultPlan::pauseBeforeFrame
    Staging filterStaging_[2];
    Staging mappingStaging_[2];
};

}  // namespace b6409::sim
