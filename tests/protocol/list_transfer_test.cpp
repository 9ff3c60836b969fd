#include "idtable/list_transfer.h"

#include <gtest/gtest.h>

#include "support/auto_reply_links.h"
#include "support/fake_link.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

// Records the bar's operations in order.
class RecordingProgress : public ProgressSink {
  public:
    void SetColors(const ProgressColors& c) override {
        colors = c;
        calls.push_back("colors");
    }
    void SetShowText(bool show) override { calls.push_back(show ? "text on" : "text off"); }
    void SetRange(int32_t lower, int32_t upper) override {
        ranges.emplace_back(lower, upper);
        calls.push_back("range");
    }
    void SetPos(int32_t position) override { positions.push_back(position); }

    std::vector<std::string> calls;
    std::vector<std::pair<int32_t, int32_t>> ranges;
    std::vector<int32_t> positions;
    ProgressColors colors;
};

class CountingPump : public EventPump {
  public:
    int PumpWaitingMessages() override { return ++pumps, 1; }
    int pumps = 0;
};

struct Download {
    test::AutoReplyLinks bus;
    test::RecordingSink sink;
    test::RecordingClock clock;
    RecordingProgress progress;
    CountingPump pump;
    LinkSettings settings;
    IdTable table;

    CommandResult Run(IdListMode mode) {
        ListTransferServices services{{bus, sink, clock}, progress, pump, ProgressColors{}};
        return DownloadList(mode, table, settings, services);
    }
    // Request identifiers with their two values, in order.
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> Sent() const {
        std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> sent;
        for (const CanFrame& f : bus.requests) sent.emplace_back(f.id, f.DataLow(), f.DataHigh());
        return sent;
    }
};

TEST(RowEncoding, CodesValuesAndFlagsTheOtherWidthTarget) {
    struct Case {
        IdListMode mode;
        const char* type;
        const char* id;
        uint8_t code;
        uint32_t low, high;
    };
    const Case cases[] = {
        {IdListMode::Filter, "11-bit SID", "0x123", 0x11, 0x123, 0xFFFFFFFF},
        {IdListMode::Filter, "11-bit GID", "0x100~0x1FF", 0x12, 0x100, 0x1FF},
        {IdListMode::Filter, "29-bit SID", "0x1FFFFFFF", 0x13, 0x1FFFFFFF, 0xFFFFFFFF},
        {IdListMode::Filter, "29-bit GID", "0x00000100~0x1FFFFFFF", 0x14, 0x100, 0x1FFFFFFF},
        {IdListMode::Mapping, "11>11-bit MID", "0x100>0x7FF", 0x15, 0x100, 0x7FF},
        {IdListMode::Mapping, "11>29-bit MID", "0x123>0x1FFFFFFF", 0x15, 0x123, 0x9FFFFFFF},
        {IdListMode::Mapping, "29>11-bit MID", "0x12345678>0x7FF", 0x16, 0x12345678, 0x800007FF},
        {IdListMode::Mapping, "29>29-bit MID", "0x00000001>0x00000002", 0x16, 1, 2},
    };
    for (const Case& c : cases) {
        const auto step = EncodeRow(c.mode, {"001", c.type, c.id});
        ASSERT_TRUE(step.has_value()) << c.type;
        EXPECT_EQ(step->listCode, c.code) << c.type;
        EXPECT_EQ(step->listValueLow, c.low) << c.type;
        EXPECT_EQ(step->listValueHigh, c.high) << c.type;
    }
    // Another mode's form, an empty type text and a foreign one send nothing.
    EXPECT_FALSE(EncodeRow(IdListMode::Mapping, {"001", "11-bit SID", "0x123"}));
    EXPECT_FALSE(EncodeRow(IdListMode::Filter, {"001", "", "0x123"}));
    EXPECT_FALSE(EncodeRow(IdListMode::Filter, {"001", "11-bit sid", "0x123"}));
}

TEST(ListDownload, OneRangeOnModulePort2) {
    Download d;
    d.settings.modulePortIndex = 1;
    d.table.AppendRow("001", "11-bit GID", "0x100~0x1FF");
    EXPECT_EQ(d.Run(IdListMode::Filter), CommandResult::Ok);
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> expected = {
        {0x201, 0, 0}, {0x212, 0x100, 0x1FF}, {0x202, 0, 0}};
    EXPECT_EQ(d.Sent(), expected);
    EXPECT_EQ(d.sink.Texts(), std::vector<std::string>{"Set CAN2-ID Filter OK !"});
    EXPECT_EQ(d.bus.opens, 3);
    EXPECT_EQ(d.bus.closes, 3);
    EXPECT_EQ(d.pump.pumps, 1);
}

TEST(ListDownload, AnEmptyTableSendsOnlyTheAcceptAllOrNoMappingStep) {
    Download filter;
    EXPECT_EQ(filter.Run(IdListMode::Filter), CommandResult::Ok);
    EXPECT_EQ(filter.Sent(),
              (std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>{{0x104, 0, 0}}));
    EXPECT_EQ(filter.sink.Texts(), std::vector<std::string>{"Set CAN1-ID Filter All Pass OK !"});
    EXPECT_TRUE(filter.progress.calls.empty());

    Download mapping;
    mapping.settings.modulePortIndex = 1;
    EXPECT_EQ(mapping.Run(IdListMode::Mapping), CommandResult::Ok);
    EXPECT_EQ(mapping.Sent(),
              (std::vector<std::tuple<uint32_t, uint32_t, uint32_t>>{{0x20A, 0, 0}}));
    EXPECT_EQ(mapping.sink.Texts(), std::vector<std::string>{"Set CAN2-ID No Mapping OK !"});
}

TEST(ListDownload, AModuleErrorStopsTheDownloadWithoutTheEndStep) {
    Download d;
    for (int i = 0; i < 3; ++i)
        d.table.AppendEntry({IdKind::Mid11To11, uint32_t(0x100 + i), 0x200});
    d.bus.errorAt = 3;  // begin, row 1, row 2
    d.bus.errorCode = 3;
    EXPECT_EQ(d.Run(IdListMode::Mapping), CommandResult::ModuleError);
    ASSERT_EQ(d.bus.requests.size(), 3u);
    EXPECT_EQ(d.bus.requests[2].DataLow(), 0x101u);
    EXPECT_EQ(d.sink.Texts(), std::vector<std::string>{"ErrMsg= CAN_FIDRec_Err"});
    // The bar moved for the first row only.
    EXPECT_EQ(d.progress.positions.size(), 200u);
}

TEST(ListDownload, AFailedBeginSendsNoRow) {
    Download d;
    d.table.AppendEntry({IdKind::Sid11, 0x123, 0});
    d.bus.errorAt = 1;
    EXPECT_EQ(d.Run(IdListMode::Filter), CommandResult::ModuleError);
    EXPECT_EQ(d.bus.requests.size(), 1u);
    EXPECT_TRUE(d.progress.positions.empty());
}

TEST(ListDownload, ProgressRangeAndPositionsFollowTheRowCount) {
    Download five;
    for (int i = 0; i < 5; ++i) five.table.AppendEntry({IdKind::Sid11, uint32_t(i + 1), 0});
    five.Run(IdListMode::Filter);
    EXPECT_EQ(five.progress.calls[0], "colors");
    EXPECT_EQ(five.progress.calls[1], "text on");
    EXPECT_EQ(five.progress.ranges, (std::vector<std::pair<int32_t, int32_t>>{{0, 1000}}));
    ASSERT_EQ(five.progress.positions.size(), 1000u);
    for (int32_t i = 0; i < 1000; ++i) ASSERT_EQ(five.progress.positions[i], i);

    Download many;
    for (int i = 0; i < 150; ++i) many.table.AppendEntry({IdKind::Sid29, uint32_t(i + 1), 0});
    many.Run(IdListMode::Filter);
    EXPECT_EQ(many.progress.ranges, (std::vector<std::pair<int32_t, int32_t>>{{0, 1500}}));
    EXPECT_EQ(many.progress.positions.back(), 1499);
    EXPECT_EQ(many.bus.requests.size(), 152u);

    EXPECT_EQ(ProgressStepFor(10), 200);
    EXPECT_EQ(ProgressStepFor(11), 100);
    EXPECT_EQ(ProgressStepFor(100), 100);
    EXPECT_EQ(ProgressStepFor(101), 10);
}

TEST(ListDownload, ARowThatCannotBeSentRefusesTheListBeforeAnythingIsSent) {
    Download d;
    d.table.AppendRow("001", "11-bit SID", "0x123");
    d.table.AppendRow("002", "11-bit SID", "hello");
    EXPECT_EQ(d.Run(IdListMode::Filter), CommandResult::Refused);
    EXPECT_TRUE(d.bus.requests.empty());
    EXPECT_TRUE(d.progress.calls.empty());
    EXPECT_EQ(d.sink.shown,
              (std::vector<std::pair<std::string, MessageIcon>>{
                  {"Row 002: \"hello\" is no 11-bit ID. Nothing was sent.", MessageIcon::Stop}}));
}

TEST(ListRead, FillsTheTableFromTheEntryFrames) {
    test::ScriptedLinkFactory links;
    test::RecordingSink sink;
    test::RecordingClock clock;
    auto entry = [](uint16_t code, uint32_t value) {
        CanFrame frame = test::Reply(0x503, {});
        frame.SetDataLow(uint32_t(code) << 16);
        frame.SetDataHigh(value);
        return frame;
    };
    links.link.Arrive(entry(0x12, 0x100));
    links.link.Arrive(entry(0x12, 0x1FF));
    links.link.Arrive(entry(0x11, 0x7E0));
    links.link.Arrive(test::Reply(0x503, {}, 1));

    IdTable table;
    table.AppendRow("001", "stale", "row");
    table.AppendReceived(0x14, 0x5555);  // a lone half left over from an earlier read
    LinkSettings settings;
    EXPECT_EQ(ReadList(IdListMode::Filter, table, settings, {links, sink, clock}),
              CommandResult::Ok);
    ASSERT_EQ(table.RowCount(), 2u);
    EXPECT_EQ(table.Row(0).type, "11-bit GID");
    EXPECT_EQ(table.Row(0).id, "0x100~0x1FF");
    EXPECT_EQ(table.Row(1).number, "002");
    EXPECT_EQ(table.Row(1).id, "0x7E0");
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Get CAN1-ID Filter OK !"});
}

}  // namespace
}  // namespace b6409
