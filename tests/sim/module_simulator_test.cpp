#include "sim/module_simulator.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/command_kind.h"
#include "support/fake_link.h"

namespace b6409::sim {
namespace {

using b6409::test::Request;

// The one frame a request is answered with.
CanFrame Only(const std::vector<TimedFrame>& frames) {
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? CanFrame{} : frames.front().frame;
}

struct EntryFrame {
    uint16_t code;
    uint32_t value;
    bool operator==(const EntryFrame&) const = default;
};

// Entry frames of a read, checked to be on the reply id with DLC 8 and to end in the DLC-1
// end frame.
std::vector<EntryFrame> ReadBack(ModuleSimulator& module, uint32_t readId) {
    const std::vector<TimedFrame> frames = module.Handle(Request(readId));
    std::vector<EntryFrame> entries;
    EXPECT_FALSE(frames.empty());
    for (size_t i = 0; i < frames.size(); ++i) {
        const CanFrame& f = frames[i].frame;
        EXPECT_EQ(f.id, readId + kReplyIdOffset);
        if (i + 1 == frames.size()) {
            EXPECT_EQ(f.dlc, 1) << "end frame";
        } else {
            EXPECT_EQ(f.dlc, 8);
            EXPECT_EQ(f.Word(0), 0);
            entries.push_back({f.Word(2), f.DataHigh()});
        }
    }
    return entries;
}

void Download(ModuleSimulator& module, uint32_t portBase, uint8_t begin, uint8_t end,
              const std::vector<ListEntry>& rows) {
    EXPECT_EQ(Only(module.Handle(Request(portBase + begin))).id, portBase + begin + 0x400);
    for (const ListEntry& row : rows) {
        const uint32_t id = portBase + row.code;
        EXPECT_EQ(Only(module.Handle(Request(id, row.first, row.second))).id, id + 0x400);
    }
    EXPECT_EQ(Only(module.Handle(Request(portBase + end))).id, portBase + end + 0x400);
}

TEST(ModuleSimulatorTest, FirmwareVersionIsMinorThenMajor) {
    ModuleSimulator module;
    CanFrame reply = Only(module.Handle(Request(0x001)));
    EXPECT_EQ(reply.id, 0x401u);
    EXPECT_EQ(reply.dlc, 8);
    EXPECT_EQ(reply.data[0], 0x05);
    EXPECT_EQ(reply.data[1], 0x01);

    ModuleState state;
    state.fwMajor = 0x2;
    state.fwMinor = 0x1A;
    module.SetState(state);
    reply = Only(module.Handle(Request(0x001)));
    EXPECT_EQ(reply.data[0], 0x1A);
    EXPECT_EQ(reply.data[1], 0x02);
}

TEST(ModuleSimulatorTest, UserBaudRecordIsPerPort) {
    ModuleSimulator module;
    CanFrame reply = Only(module.Handle(Request(0x106)));
    EXPECT_EQ(reply.id, 0x506u);
    EXPECT_EQ(reply.dlc, 1) << "no record yet";

    // 83.333 kbit/s: integer 83 in bytes 0-1, fraction digits 333 in bytes 2-3.
    EXPECT_EQ(Only(module.Handle(Request(0x105, 333u << 16 | 83))).id, 0x505u);
    reply = Only(module.Handle(Request(0x106)));
    EXPECT_EQ(reply.dlc, 8);
    EXPECT_EQ(reply.Word(0), 83);
    EXPECT_EQ(reply.Word(2), 333);
    EXPECT_EQ(module.Snapshot().ports[0].userBaud, std::make_pair(uint16_t(83), uint16_t(333)));

    EXPECT_EQ(Only(module.Handle(Request(0x206))).dlc, 1) << "CAN2 has its own record";
}

TEST(ModuleSimulatorTest, BusOffTimeAndListenOnly) {
    ModuleSimulator module;
    EXPECT_EQ(Only(module.Handle(Request(0x004))).Word(0), 0);
    EXPECT_EQ(Only(module.Handle(Request(0x003, 30))).id, 0x403u);
    CanFrame reply = Only(module.Handle(Request(0x004)));
    EXPECT_EQ(reply.id, 0x404u);
    EXPECT_EQ(reply.Word(0), 30);
    module.Handle(Request(0x003, 70000));
    EXPECT_EQ(module.Snapshot().busOffSeconds, 70000u);

    // Any non-zero value enables; each port has its own pair of commands.
    module.Handle(Request(0x007, 5));
    EXPECT_EQ(Only(module.Handle(Request(0x008))).Word(0), 1);
    EXPECT_EQ(Only(module.Handle(Request(0x006))).Word(0), 0);
    module.Handle(Request(0x005, 1));
    module.Handle(Request(0x007, 0));
    EXPECT_EQ(Only(module.Handle(Request(0x006))).Word(0), 1);
    EXPECT_EQ(Only(module.Handle(Request(0x008))).Word(0), 0);
    EXPECT_TRUE(module.Snapshot().ports[0].listenOnly);
    EXPECT_FALSE(module.Snapshot().ports[1].listenOnly);
}

TEST(ModuleSimulatorTest, ResetKeepsSettingsButAbandonsDownload) {
    ModuleSimulator module;
    module.Handle(Request(0x003, 12));
    module.Handle(Request(0x101));
    module.Handle(Request(0x111, 0x123, 0xFFFFFFFF));
    EXPECT_EQ(Only(module.Handle(Request(0x002))).id, 0x402u);
    EXPECT_EQ(module.Snapshot().resets, 1);
    EXPECT_EQ(module.Snapshot().busOffSeconds, 12u);
    EXPECT_EQ(Only(module.Handle(Request(0x102))).id, kErrorReplyId);
    EXPECT_TRUE(module.Snapshot().ports[0].filter.empty());
}

TEST(ModuleSimulatorTest, FilterListOfEveryKindReadsBackFrameByFrame) {
    ModuleSimulator module;
    const std::vector<ListEntry> rows = {{0x11, 0x123, 0xFFFFFFFF},
                                         {0x12, 0x100, 0x1FF},
                                         {0x13, 0x12345678, 0xFFFFFFFF},
                                         {0x14, 0x1000, 0x1FFFFFFF}};
    Download(module, 0x200, code::kFilterBegin, code::kFilterEnd, rows);
    EXPECT_EQ(module.Snapshot().ports[1].filter, rows);
    EXPECT_TRUE(module.Snapshot().ports[0].filter.empty());

    const std::vector<EntryFrame> expected = {{0x11, 0x123},  {0x12, 0x100},
                                              {0x12, 0x1FF},  {0x13, 0x12345678},
                                              {0x14, 0x1000}, {0x14, 0x1FFFFFFF}};
    EXPECT_EQ(ReadBack(module, 0x203), expected);
    EXPECT_TRUE(ReadBack(module, 0x103).empty());
}

TEST(ModuleSimulatorTest, MappingListKeepsTargetWidthBit) {
    ModuleSimulator module;
    const std::vector<ListEntry> rows = {{0x15, 0x100, 0x200},
                                         {0x15, 0x101, 0x80000000 | 0x1ABCDEF0},
                                         {0x16, 0x12345678, 0x80000000 | 0x7FF},
                                         {0x16, 0x1FFFFFFF, 0x00000001}};
    Download(module, 0x100, code::kMappingBegin, code::kMappingEnd, rows);
    const std::vector<EntryFrame> expected = {
        {0x15, 0x100},      {0x15, 0x200},      {0x15, 0x101},      {0x15, 0x9ABCDEF0},
        {0x16, 0x12345678}, {0x16, 0x800007FF}, {0x16, 0x1FFFFFFF}, {0x16, 0x00000001}};
    EXPECT_EQ(ReadBack(module, 0x109), expected);
    EXPECT_TRUE(ReadBack(module, 0x103).empty()) << "mapping and filter lists are separate";
}

TEST(ModuleSimulatorTest, DownloadTakesEffectOnlyAtItsEnd) {
    ModuleSimulator module;
    Download(module, 0x100, code::kFilterBegin, code::kFilterEnd, {{0x11, 0x7E0, 0xFFFFFFFF}});

    module.Handle(Request(0x101));
    module.Handle(Request(0x111, 0x001, 0xFFFFFFFF));
    EXPECT_EQ(ReadBack(module, 0x103), (std::vector<EntryFrame>{{0x11, 0x7E0}}))
        << "a download in progress leaves the stored list alone";
    module.Handle(Request(0x102));
    EXPECT_EQ(ReadBack(module, 0x103), (std::vector<EntryFrame>{{0x11, 0x001}}));

    EXPECT_EQ(Only(module.Handle(Request(0x104))).id, 0x504u);
    EXPECT_TRUE(ReadBack(module, 0x103).empty()) << "accept all";

    Download(module, 0x100, code::kMappingBegin, code::kMappingEnd, {{0x15, 1, 2}});
    EXPECT_EQ(Only(module.Handle(Request(0x10A))).id, 0x50Au);
    EXPECT_TRUE(ReadBack(module, 0x109).empty()) << "no mapping";
}

TEST(ModuleSimulatorTest, RefusedRequestsGetErrorCodeOnOtherIdAndChangeNothing) {
    struct Case {
        const char* what;
        CanFrame request;
        uint8_t code;
    };
    CanFrame shortFrame = Request(0x105, 125);
    shortFrame.dlc = 7;
    CanFrame remote = Request(0x001);
    remote.remote = true;
    CanFrame extended = Request(0x001);
    extended.extended = true;
    const Case cases[] = {
        {"unknown module-wide code", Request(0x009), error::kCommandNumber},
        {"unknown port code", Request(0x10B), error::kCommandNumber},
        {"per-port code without a port", Request(0x011), error::kCommandNumber},
        {"module port 3", Request(0x305, 125), error::kCanPort},
        {"DLC 7", shortFrame, error::kCommandLength},
        {"remote frame", remote, error::kRemote},
        {"29-bit identifier", extended, error::kParameterFormat},
        {"filter entry without begin", Request(0x111, 0x123, 0xFFFFFFFF), error::kProcess},
        {"filter end without begin", Request(0x102), error::kProcess},
        {"mapping entry without begin", Request(0x115, 1, 2), error::kProcess},
        {"mapping end without begin", Request(0x108), error::kProcess},
    };
    for (const Case& c : cases) {
        ModuleSimulator module;
        module.Handle(Request(0x207));  // a mapping download on the other port is no excuse
        const CanFrame reply = Only(module.Handle(c.request));
        EXPECT_EQ(reply.id, kErrorReplyId) << c.what;
        EXPECT_EQ(reply.dlc, 8) << c.what;
        EXPECT_EQ(reply.data[0], c.code) << c.what;
        const ModuleState after = module.Snapshot();
        EXPECT_FALSE(after.ports[0].userBaud.has_value()) << c.what;
        EXPECT_TRUE(after.ports[0].filter.empty()) << c.what;
    }
}

TEST(ModuleSimulatorTest, RepliesOnTheBusAreNotRequests) {
    ModuleSimulator module;
    EXPECT_TRUE(module.Handle(Request(0x401)).empty());
    EXPECT_TRUE(module.Handle(Request(kErrorReplyId)).empty());
    EXPECT_EQ(module.Snapshot().requestsSeen, 0);
}

TEST(ModuleSimulatorTest, ErrorAtNthRequestCountsOverModuleLife) {
    FaultPlan faults;
    faults.errorAtRequest = 3;
    faults.errorCode = 3;
    ModuleSimulator module(faults);
    EXPECT_EQ(Only(module.Handle(Request(0x001))).id, 0x401u);
    EXPECT_EQ(Only(module.Handle(Request(0x001))).id, 0x401u);
    const CanFrame refused = Only(module.Handle(Request(0x105, 125)));
    EXPECT_EQ(refused.id, kErrorReplyId);
    EXPECT_EQ(refused.data[0], 3);
    EXPECT_FALSE(module.Snapshot().ports[0].userBaud.has_value()) << "refused, not taken";
    EXPECT_EQ(Only(module.Handle(Request(0x105, 125))).id, 0x505u);
    EXPECT_EQ(module.Snapshot().requestsSeen, 4);
}

TEST(ModuleSimulatorTest, SilentModuleStillCountsRequests) {
    FaultPlan faults;
    faults.silent = true;
    ModuleSimulator module(faults);
    EXPECT_TRUE(module.Handle(Request(0x001)).empty());
    EXPECT_TRUE(module.Handle(Request(0x103)).empty());
    EXPECT_EQ(module.Snapshot().requestsSeen, 2);
    faults.silent = false;
    module.SetFaults(faults);
    EXPECT_EQ(Only(module.Handle(Request(0x001))).id, 0x401u);
}

TEST(ModuleSimulatorTest, OtherNodeFrameAndEntryPauseShapeTheReplySequence) {
    FaultPlan faults;
    faults.otherNodeFirst = true;
    faults.entryPauseMs = 40;
    ModuleSimulator module(faults);
    ModuleState state;
    state.ports[0].filter = {{0x12, 0x100, 0x1FF}};
    module.SetState(state);

    const std::vector<TimedFrame> frames = module.Handle(Request(0x103));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].frame.id, kOtherNodeId);
    EXPECT_EQ(frames[0].frame.dlc, 8);
    EXPECT_EQ(frames[0].frame.DataLow(), 0x33221102u);
    EXPECT_EQ(frames[0].frame.DataHigh(), 0x77665544u);
    EXPECT_EQ(frames[0].delayBeforeMs, 0u);
    for (size_t i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].frame.id, 0x503u);
        EXPECT_EQ(frames[i].delayBeforeMs, 40u);
    }
    EXPECT_EQ(frames[3].frame.dlc, 1);

    // Plain replies pause for nothing, but still come second.
    const std::vector<TimedFrame> info = module.Handle(Request(0x001));
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0].frame.id, kOtherNodeId);
    EXPECT_EQ(info[1].frame.id, 0x401u);
    EXPECT_EQ(info[1].delayBeforeMs, 0u);
}

}  // namespace
}  // namespace b6409::sim
