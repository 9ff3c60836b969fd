#include "protocol/exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "support/fake_link.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

using test::Reply;

struct Harness {
    test::ScriptedLinkFactory factory;
    test::RecordingSink sink;
    test::RecordingClock clock;
    ExchangeInputs inputs;

    test::ScriptedLink& link() { return factory.link; }
    CommandResult Run(CommandKind command) {
        return ExchangeCommand(inputs.settings.deviceKind, command, inputs, {factory, sink, clock});
    }
};

class RecordingReader : public ListReader {
  public:
    void ResetReceivePairing() override { resets++; }
    void AppendReceived(uint16_t code, uint32_t value) override {
        entries.emplace_back(code, value);
    }
    int resets = 0;
    std::vector<std::pair<uint16_t, uint32_t>> entries;
};

TEST(Exchange, FirmwareVersionRoundTrip) {
    Harness h;
    h.link().Arrive(Reply(0x401, {0x05, 0x01}));
    EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"FW_Ver = v1.05"});
    ASSERT_EQ(h.link().sent.size(), 1u);
    EXPECT_EQ(h.link().sent[0], Reply(0x001, {}));
    EXPECT_EQ(h.link().calls,
              (std::vector<std::string>{"Open", "Send", "Waiting", "Receive", "Close"}));
    EXPECT_EQ(h.clock.sleeps, std::vector<unsigned>{100});
    EXPECT_EQ(h.factory.kind, DeviceKind::Scv1);
    EXPECT_EQ(h.sink.shown[0].second, MessageIcon::None);
}

TEST(Exchange, MajorIsPlainHexAndMinorTwoDigits) {
    Harness h;
    h.link().Arrive(Reply(0x401, {0x0A, 0x1F}));
    h.Run(CommandKind::GetModuleInfo);
    EXPECT_EQ(h.sink.Last(), "FW_Ver = v1F.0A");
}

TEST(Exchange, SilentModuleTimesOutOnTheTwelfthEmptyPoll) {
    Harness h;
    EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"Config Command Timeout"});
    EXPECT_EQ(h.clock.sleeps, std::vector<unsigned>(13, 100));  // after the send, then 12 polls
    EXPECT_EQ(std::count(h.link().calls.begin(), h.link().calls.end(), "Waiting"), 12);
    EXPECT_EQ(h.link().calls.back(), "Close");
}

TEST(Exchange, AReplyAfterElevenEmptyPollsIsStillTaken) {
    Harness h;
    h.link().Arrive(Reply(0x402, {}), 11);
    EXPECT_EQ(h.Run(CommandKind::ResetModule), CommandResult::Ok);
    EXPECT_EQ(h.sink.Last(), "B-6409 Module Reset OK !");
}

TEST(Exchange, ErrorRepliesAreNamedByTheirFirstByte) {
    const std::pair<uint8_t, std::string> cases[] = {
        {0, "ErrMsg= CAN_OtherDevBaud_Err"},
        {1, "ErrMsg= Process_Err"},
        {4, "ErrMsg= CmdNo_Err"},
        {8, "ErrMsg= CAN_OtherDevBaud_Err"},
        {9, "ErrMsg= "},
        {14, "ErrMsg= "},
        {15, "ErrMsg= Timeout_Err"},
        {16, "ErrMsg= Unknown_Err(16)"},
        {255, "ErrMsg= Unknown_Err(255)"},
    };
    for (const auto& [code, message] : cases) {
        Harness h;
        h.link().Arrive(Reply(0x7FF, {code}));
        EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::ModuleError);
        EXPECT_EQ(h.sink.Last(), message) << int(code);
        EXPECT_EQ(h.link().calls.back(), "Close");
    }
}

TEST(Exchange, TheFirstFrameDecidesEvenWhenItComesFromAnotherNode) {
    Harness h;
    h.link().Arrive(Reply(0x3A5, {0x02, 0x11}));
    h.link().Arrive(Reply(0x401, {0x05, 0x01}));
    EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::ModuleError);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"ErrMsg= Parameter_Format_Err"});
}

TEST(Exchange, LinkFailuresCloseTheLinkAndShowTheLinksMessage) {
    {
        Harness h;
        h.link().openFailure = LinkFailure{"Device Open Fail !! (ErrCode:4)"};
        EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
        EXPECT_EQ(h.link().calls, (std::vector<std::string>{"Open", "Close"}));
        EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"Device Open Fail !! (ErrCode:4)"});
    }
    {
        Harness h;
        h.link().sendFailure = LinkFailure{"Send CANMsg Error ! (ErrCode:3)"};
        EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
        EXPECT_EQ(h.link().calls, (std::vector<std::string>{"Open", "Send", "Close"}));
        EXPECT_TRUE(h.clock.sleeps.empty());
    }
    {
        Harness h;
        h.link().receiveFailure = LinkFailure{"CAN_RxBufEmpty"};
        h.link().Arrive(Reply(0x401, {}));
        EXPECT_EQ(h.Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
        EXPECT_EQ(h.link().calls.back(), "Close");
        EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"CAN_RxBufEmpty"});
    }
}

// Request frame and accepted-reply message of every option command.
struct OptionCase {
    CommandKind command;
    int modulePort;
    std::string value;
    uint32_t requestId;
    uint32_t requestLow;
    CanFrame reply;
    std::string message;
};

TEST(Exchange, OptionCommandsSendTheirRequestAndShowTheirMessage) {
    const OptionCase cases[] = {
        {CommandKind::ResetModule, 1, "", 0x002, 0, Reply(0x402, {}), "B-6409 Module Reset OK !"},
        {CommandKind::SetUserBaud, 1, "83.333", 0x105, 0x014D0053, Reply(0x505, {}),
         "Set CAN1 User-defined Baudrate OK !"},
        {CommandKind::SetUserBaud, 2, "125", 0x205, 125, Reply(0x605, {}),
         "Set CAN2 User-defined Baudrate OK !"},
        {CommandKind::GetUserBaud, 1, "", 0x106, 0, Reply(0x506, {83, 0, 0x4D, 0x01}),
         "CAN1 User-defined Baudrate : 83.333 (Kbps)"},
        {CommandKind::GetUserBaud, 1, "", 0x106, 0, Reply(0x506, {125, 0, 0, 0}),
         "CAN1 User-defined Baudrate : 125.0 (Kbps)"},
        {CommandKind::GetUserBaud, 2, "", 0x206, 0, Reply(0x606, {}, 1),
         "No CAN2 User-defined Baudrate Record !"},
        {CommandKind::SetBusOffResetTime, 1, "30", 0x003, 30, Reply(0x403, {}),
         "Set Bus-Off Auto Reset Module OK !"},
        {CommandKind::GetBusOffResetTime, 2, "", 0x004, 0, Reply(0x404, {30, 0}),
         "Bus-Off Auto Reset Time = 30 (Sec)"},
        {CommandKind::GetBusOffResetTime, 1, "", 0x004, 0, Reply(0x404, {0, 0, 7}),
         "Bus-Off Auto Reset Time = 0 (Sec) [Function Disabled]"},
        {CommandKind::SetListenOnlyCan1, 1, "1", 0x005, 1, Reply(0x405, {}),
         "Enable CAN1 Listen-Only Mode OK !"},
        {CommandKind::SetListenOnlyCan1, 1, "0", 0x005, 0, Reply(0x405, {}),
         "Disable CAN1 Listen-Only Mode OK !"},
        {CommandKind::SetListenOnlyCan2, 2, "1", 0x007, 1, Reply(0x407, {}),
         "Enable CAN2 Listen-Only Mode OK !"},
        {CommandKind::SetListenOnlyCan2, 2, "0", 0x007, 0, Reply(0x407, {}),
         "Disable CAN2 Listen-Only Mode OK !"},
        {CommandKind::GetListenOnlyCan1, 1, "", 0x006, 0, Reply(0x406, {1, 0}),
         "CAN1 Listen-Only Mode Enabled"},
        {CommandKind::GetListenOnlyCan1, 1, "", 0x006, 0, Reply(0x406, {0, 0, 1}),
         "CAN1 Listen-Only Mode Disabled"},
        {CommandKind::GetListenOnlyCan2, 2, "", 0x008, 0, Reply(0x408, {0, 1}),
         "CAN2 Listen-Only Mode Enabled"},
        {CommandKind::GetListenOnlyCan2, 2, "", 0x008, 0, Reply(0x408, {}),
         "CAN2 Listen-Only Mode Disabled"},
    };
    for (const OptionCase& c : cases) {
        Harness h;
        h.inputs.settings.modulePortIndex = static_cast<uint8_t>(c.modulePort - 1);
        h.inputs.optionValueText = c.value;
        h.link().Arrive(c.reply);
        EXPECT_EQ(h.Run(c.command), CommandResult::Ok) << c.message;
        ASSERT_EQ(h.link().sent.size(), 1u);
        const CanFrame& request = h.link().sent[0];
        EXPECT_EQ(request.id, c.requestId) << c.message;
        EXPECT_EQ(request.dlc, 8);
        EXPECT_FALSE(request.extended || request.remote);
        EXPECT_EQ(request.DataLow(), c.requestLow) << c.message;
        EXPECT_EQ(request.DataHigh(), 0u);
        EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{c.message});
    }
}

TEST(Exchange, ListStepsAreSilentExceptTheClosingOnes) {
    struct StepCase {
        CommandKind command;
        uint8_t code;
        std::string message;
    };
    const StepCase cases[] = {
        {CommandKind::SetFilterList, 0x01, ""},
        {CommandKind::SetFilterList, 0x12, ""},
        {CommandKind::SetFilterList, 0x02, "Set CAN2-ID Filter OK !"},
        {CommandKind::SetFilterList, 0x04, "Set CAN2-ID Filter All Pass OK !"},
        {CommandKind::SetMappingList, 0x07, ""},
        {CommandKind::SetMappingList, 0x16, ""},
        {CommandKind::SetMappingList, 0x08, "Set CAN2-ID Mapping OK !"},
        {CommandKind::SetMappingList, 0x0A, "Set CAN2-ID No Mapping OK !"},
    };
    for (const StepCase& c : cases) {
        Harness h;
        h.inputs.settings.modulePortIndex = 1;
        h.inputs.listStep = {c.code, 0x100, 0x1FF};
        h.link().Arrive(Reply(0x600 + c.code, {}));
        EXPECT_EQ(h.Run(c.command), CommandResult::Ok);
        EXPECT_EQ(h.link().sent[0].id, 0x200u + c.code);
        EXPECT_EQ(h.link().sent[0].DataLow(), 0x100u);
        EXPECT_EQ(h.link().sent[0].DataHigh(), 0x1FFu);
        EXPECT_EQ(h.sink.Texts().empty(), c.message.empty());
        if (!c.message.empty()) {
            EXPECT_EQ(h.sink.Last(), c.message);
        }
    }
}

CanFrame Entry(uint32_t replyId, uint16_t code, uint32_t value) {
    CanFrame frame = Reply(replyId, {});
    frame.SetDataLow(uint32_t(code) << 16);
    frame.SetDataHigh(value);
    return frame;
}

TEST(Exchange, ListReadHandsEntriesToTheReaderUntilTheEndFrame) {
    Harness h;
    RecordingReader reader;
    h.inputs.listReader = &reader;
    h.link().Arrive(Entry(0x503, 0x12, 0x100));
    h.link().Arrive(Entry(0x503, 0x12, 0x1FF), 2);
    h.link().Arrive(Entry(0x503, 0x11, 0x7E0));
    h.link().Arrive(Reply(0x503, {}, 1));
    EXPECT_EQ(h.Run(CommandKind::GetFilterList), CommandResult::Ok);
    EXPECT_EQ(h.link().sent[0].id, 0x103u);
    EXPECT_EQ(reader.resets, 1);
    const std::vector<std::pair<uint16_t, uint32_t>> expected = {
        {0x12, 0x100}, {0x12, 0x1FF}, {0x11, 0x7E0}};
    EXPECT_EQ(reader.entries, expected);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"Get CAN1-ID Filter OK !"});
    // No wait between frames that are already waiting.
    EXPECT_EQ(h.clock.sleeps, std::vector<unsigned>(3, 100));
}

TEST(Exchange, EmptyListsReadAsAcceptAllAndNoMapping) {
    {
        Harness h;
        h.inputs.settings.modulePortIndex = 1;
        h.link().Arrive(Reply(0x603, {}, 1));
        EXPECT_EQ(h.Run(CommandKind::GetFilterList), CommandResult::Ok);
        EXPECT_EQ(h.sink.Last(), "CAN2 Accept All ID");
    }
    {
        Harness h;
        h.link().Arrive(Reply(0x509, {}, 1));
        EXPECT_EQ(h.Run(CommandKind::GetMappingList), CommandResult::Ok);
        EXPECT_EQ(h.link().sent[0].id, 0x109u);
        EXPECT_EQ(h.sink.Last(), "CAN1 No Mapping ID");
    }
}

TEST(Exchange, AListReadSharesOnePollAllowance) {
    Harness h;
    RecordingReader reader;
    h.inputs.listReader = &reader;
    // Six empty polls before each of two entries: the twelfth empty poll ends the read although
    // entries kept arriving; the entries that came stay with the reader.
    h.link().Arrive(Entry(0x509, 0x15, 0x100), 6);
    h.link().Arrive(Entry(0x509, 0x15, 0x200), 5);
    h.link().Arrive(Reply(0x509, {}, 1), 1);
    EXPECT_EQ(h.Run(CommandKind::GetMappingList), CommandResult::LinkFailed);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"Config Command Timeout"});
    EXPECT_EQ(reader.entries.size(), 2u);
}

TEST(Exchange, AnyOtherFrameEndsAListReadAsAnErrorReply) {
    Harness h;
    RecordingReader reader;
    h.inputs.listReader = &reader;
    h.link().Arrive(Entry(0x503, 0x11, 0x123));
    h.link().Arrive(Reply(0x7FF, {3}));
    EXPECT_EQ(h.Run(CommandKind::GetFilterList), CommandResult::ModuleError);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"ErrMsg= CAN_FIDRec_Err"});
    EXPECT_EQ(reader.entries.size(), 1u);
}

TEST(Exchange, AListReadEndsAfterTheMostEntriesItTakes) {
    Harness h;
    RecordingReader reader;
    h.inputs.listReader = &reader;
    // A sender that streams entries: one more than a read takes, then an end that comes too late.
    for (int i = 0; i < 65536; ++i) h.link().Arrive(Entry(0x503, 0x11, static_cast<uint32_t>(i)));
    h.link().Arrive(Reply(0x503, {}, 1));
    EXPECT_EQ(h.Run(CommandKind::GetFilterList), CommandResult::LinkFailed);
    EXPECT_EQ(reader.entries.size(), 65535u);
    EXPECT_EQ(h.sink.Texts(), std::vector<std::string>{"More than 65535 entries came without the "
                                                       "list's end: the read was stopped; the "
                                                       "list is incomplete."});
    EXPECT_EQ(h.link().calls.back(), "Close");
}

TEST(Exchange, NumbersAreDerivedFromTheSettings) {
    Harness h;
    h.inputs.settings.ChooseDeviceKind(DeviceKind::Pcc4);
    h.inputs.settings.devicePortIndex = 7;
    h.inputs.settings.canPortIndex = 3;
    h.inputs.settings.modulePortIndex = 1;
    h.link().Arrive(Reply(0x401, {}));
    h.Run(CommandKind::GetModuleInfo);
    ASSERT_TRUE(h.factory.numbers.has_value());
    EXPECT_EQ(h.factory.kind, DeviceKind::Pcc4);
    EXPECT_EQ(h.factory.numbers->boardNumber, 7);
    EXPECT_EQ(h.factory.numbers->devicePortNumber, 8);
    EXPECT_EQ(h.factory.numbers->canPortNumber, 4);
    EXPECT_EQ(h.factory.numbers->modulePort, 2);
}

// A link whose frames arrive at set times after the send. Time passes only in its waits, which
// move the recording clock to the next arrival or to the end of the wait.
class TimedLink : public DeviceLink {
  public:
    TimedLink(test::RecordingClock& clock, std::vector<std::pair<uint64_t, CanFrame>> arrivals,
              bool canWait)
        : clock_(clock), arrivals_(arrivals.begin(), arrivals.end()), canWait_(canWait) {}
    std::optional<LinkFailure> Open() override { return std::nullopt; }
    std::optional<LinkFailure> SendFrame(const CanFrame&) override { return std::nullopt; }
    uint32_t WaitingCount() override {
        return !arrivals_.empty() && arrivals_.front().first <= clock_.now ? 1 : 0;
    }
    bool WaitForReply(unsigned timeoutMs) override {
        if (!canWait_) return false;
        const uint64_t end = clock_.now + timeoutMs;
        clock_.now = arrivals_.empty() ? end : std::min(end, arrivals_.front().first);
        return true;
    }
    ReceiveOutcome ReceiveFrame() override {
        const CanFrame frame = arrivals_.front().second;
        arrivals_.pop_front();
        return {frame, std::nullopt};
    }
    void Close() override {}

  private:
    test::RecordingClock& clock_;
    std::deque<std::pair<uint64_t, CanFrame>> arrivals_;
    bool canWait_;
};

class TimedLinks : public LinkFactory {
  public:
    TimedLinks(test::RecordingClock& clock, std::vector<std::pair<uint64_t, CanFrame>> arrivals,
               bool canWait)
        : clock_(clock), arrivals_(std::move(arrivals)), canWait_(canWait) {}
    std::unique_ptr<DeviceLink> MakeLink(DeviceKind, const LinkNumbers&) override {
        return std::make_unique<TimedLink>(clock_, arrivals_, canWait_);
    }

  private:
    test::RecordingClock& clock_;
    std::vector<std::pair<uint64_t, CanFrame>> arrivals_;
    bool canWait_;
};

TEST(Exchange, ReplyPacingTakesFramesAsTheyComeWithinTheSameAllowance) {
    const CanFrame end = Reply(0x503, {}, 1);
    struct Case {
        const char* what;
        CommandKind command;
        std::vector<std::pair<uint64_t, CanFrame>> arrivals;  // ms after the send
        bool linkCanWait;
        CommandResult result;
        std::string message;
        uint64_t endsAtMs;
        std::vector<unsigned> sleeps;
        size_t entries;
    };
    const Case cases[] = {
        {"a reply after 3 ms is taken then",
         CommandKind::GetModuleInfo,
         {{3, Reply(0x401, {0x05, 0x01})}},
         true,
         CommandResult::Ok,
         "FW_Ver = v1.05",
         3,
         {},
         0},
        {"a silent module",
         CommandKind::GetModuleInfo,
         {},
         true,
         CommandResult::LinkFailed,
         "Config Command Timeout",
         1300,
         {},
         0},
        {"a reply at the end of the allowance",
         CommandKind::ResetModule,
         {{1300, Reply(0x402, {})}},
         true,
         CommandResult::Ok,
         "B-6409 Module Reset OK !",
         1300,
         {},
         0},
        {"a reply just after it",
         CommandKind::ResetModule,
         {{1301, Reply(0x402, {})}},
         true,
         CommandResult::LinkFailed,
         "Config Command Timeout",
         1300,
         {},
         0},
        {"pauses between entries that add up to less",
         CommandKind::GetFilterList,
         {{400, Entry(0x503, 0x11, 1)}, {800, Entry(0x503, 0x11, 2)}, {1200, end}},
         true,
         CommandResult::Ok,
         "Get CAN1-ID Filter OK !",
         1200,
         {},
         2},
        {"pauses that add up to more end the read, keeping its entries",
         CommandKind::GetFilterList,
         {{500, Entry(0x503, 0x11, 1)}, {1000, Entry(0x503, 0x11, 2)}, {1500, end}},
         true,
         CommandResult::LinkFailed,
         "Config Command Timeout",
         1300,
         {},
         2},
        {"a link that cannot wait is polled at the fixed interval",
         CommandKind::GetModuleInfo,
         {{250, Reply(0x401, {0x05, 0x01})}},
         false,
         CommandResult::Ok,
         "FW_Ver = v1.05",
         300,
         {100, 100, 100},
         0},
        {"and times out all the same",
         CommandKind::GetModuleInfo,
         {},
         false,
         CommandResult::LinkFailed,
         "Config Command Timeout",
         1300,
         std::vector<unsigned>(13, 100),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::RecordingClock clock;
        TimedLinks links(clock, c.arrivals, c.linkCanWait);
        test::RecordingSink sink;
        RecordingReader reader;
        ExchangeInputs inputs;
        inputs.listReader = &reader;
        EXPECT_EQ(ExchangeCommand(DeviceKind::Scv1, c.command, inputs,
                                  {links, sink, clock, Pacing::Reply}),
                  c.result);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(clock.now, c.endsAtMs);
        EXPECT_EQ(clock.sleeps, c.sleeps);
        EXPECT_EQ(reader.entries.size(), c.entries);
    }
}

}  // namespace
}  // namespace b6409
