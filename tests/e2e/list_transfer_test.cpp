// Filter and mapping lists downloaded to the simulated module and read back, through a real
// pseudo-terminal.
#include "idtable/list_transfer.h"

#include <gtest/gtest.h>

#include "support/serial_sim_fixture.h"

namespace b6409 {
namespace {

class ListTransferTest : public SerialSimulatorTest {
  protected:
    CommandResult Download(IdListMode mode, const IdTable& table) {
        ListTransferServices services{{*links, sink, clock, pacing}, progress, pump, {}};
        return DownloadList(mode, table, Settings(), services);
    }
    CommandResult Read(IdListMode mode, IdTable& table) {
        return ReadList(mode, table, Settings(), {*links, sink, clock, pacing});
    }
    static LinkSettings Settings() {
        LinkSettings settings;
        settings.modulePortIndex = 1;  // module CAN2
        return settings;
    }

    NullProgress progress;
    NullPump pump;
};

TEST_F(ListTransferTest, EveryFilterAndMappingKindRoundTripsThroughCan2) {
    Start();
    IdTable filters;
    filters.AppendEntry({IdKind::Sid11, 0x7E0, 0});
    filters.AppendEntry({IdKind::Gid11, 0x100, 0x1FF});
    filters.AppendEntry({IdKind::Sid29, 0x00000000, 0});
    filters.AppendEntry({IdKind::Gid29, 0x00012345, 0x1FFFFFFF});
    filters.AppendEntry({IdKind::Sid11, 0x001, 0});
    ASSERT_EQ(Download(IdListMode::Filter, filters), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set CAN2-ID Filter OK !");

    IdTable mappings;
    mappings.AppendEntry({IdKind::Mid11To11, 0x100, 0x200});
    mappings.AppendEntry({IdKind::Mid11To29, 0x123, 0x1FFFFFFF});
    mappings.AppendEntry({IdKind::Mid29To29, 0x12345678, 0x00000001});
    mappings.AppendEntry({IdKind::Mid29To11, 0x1FFFFFFF, 0x012});
    ASSERT_EQ(Download(IdListMode::Mapping, mappings), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set CAN2-ID Mapping OK !");

    // Module port 1 is untouched.
    EXPECT_TRUE(module->Snapshot().ports[0].filter.empty());
    EXPECT_EQ(module->Snapshot().ports[1].filter.size(), 5u);

    IdTable readFilters;
    ASSERT_EQ(Read(IdListMode::Filter, readFilters), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Get CAN2-ID Filter OK !");
    EXPECT_TRUE(readFilters.SameTexts(filters));

    IdTable readMappings;
    ASSERT_EQ(Read(IdListMode::Mapping, readMappings), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Get CAN2-ID Mapping OK !");
    EXPECT_TRUE(readMappings.SameTexts(mappings));
}

TEST_F(ListTransferTest, EmptyListsReadAsAcceptAllAndNoMapping) {
    Start();
    IdTable table;
    table.AppendRow("001", "11-bit SID", "0x123");
    EXPECT_EQ(Read(IdListMode::Filter, table), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN2 Accept All ID");
    EXPECT_EQ(table.RowCount(), 0u);
    EXPECT_EQ(Read(IdListMode::Mapping, table), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN2 No Mapping ID");

    // Downloading an empty table clears what the module held.
    IdTable one;
    one.AppendEntry({IdKind::Sid11, 0x55, 0});
    ASSERT_EQ(Download(IdListMode::Filter, one), CommandResult::Ok);
    ASSERT_EQ(Download(IdListMode::Filter, IdTable{}), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set CAN2-ID Filter All Pass OK !");
    EXPECT_EQ(Read(IdListMode::Filter, table), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN2 Accept All ID");
}

TEST_F(ListTransferTest, AnErrorAtARowLeavesTheModulesListAsItWas) {
    sim::FaultPlan faults;
    faults.errorAtRequest = 3;  // begin, row 1, row 2
    faults.errorCode = 2;
    Start({}, faults);
    IdTable table;
    for (uint32_t id : {0x10u, 0x20u, 0x30u}) table.AppendEntry({IdKind::Sid11, id, 0});
    EXPECT_EQ(Download(IdListMode::Filter, table), CommandResult::ModuleError);
    EXPECT_EQ(sink.Last(), "ErrMsg= Parameter_Format_Err");
    EXPECT_EQ(module->Snapshot().requestsSeen, 3);  // no third row, no end step
    EXPECT_TRUE(module->Snapshot().ports[1].filter.empty());
}

TEST_F(ListTransferTest, ARunOfSlowEntriesEndsInATimeoutButKeepsTheRowsThatCame) {
    Start();
    IdTable table;
    for (uint32_t id = 1; id <= 4; ++id) table.AppendEntry({IdKind::Sid29, id, 0});
    ASSERT_EQ(Download(IdListMode::Filter, table), CommandResult::Ok);
    sim::FaultPlan slow;
    slow.entryPauseMs = 700;  // about seven empty polls per entry: the allowance of 11 runs out
    module->SetFaults(slow);
    IdTable read;
    EXPECT_EQ(Read(IdListMode::Filter, read), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Last(), "Config Command Timeout");
    EXPECT_GE(read.RowCount(), 1u);
    EXPECT_LT(read.RowCount(), 4u);
    EXPECT_TRUE(PortIsFree());
}

// Reply pacing spends the same allowance on the pauses between entries: five pauses of 150 ms
// fit; with 500 ms the third entry would come at 1.5 s, after the read gave up.
TEST_F(ListTransferTest, AReplyPacedReadSpendsTheAllowanceOnThePausesBetweenEntries) {
    Start();
    IdTable table;
    for (uint32_t id = 1; id <= 4; ++id) table.AppendEntry({IdKind::Sid29, id, 0});
    ASSERT_EQ(Download(IdListMode::Filter, table), CommandResult::Ok);
    pacing = Pacing::Reply;
    for (const auto& [pauseMs, result, rows] :
         {std::tuple{150u, CommandResult::Ok, 4u}, {500u, CommandResult::LinkFailed, 2u}}) {
        SCOPED_TRACE(pauseMs);
        sim::FaultPlan slow;
        slow.entryPauseMs = pauseMs;
        module->SetFaults(slow);
        clock.sleeps.clear();
        IdTable read;
        EXPECT_EQ(Read(IdListMode::Filter, read), result);
        EXPECT_EQ(sink.Last(), result == CommandResult::Ok ? "Get CAN2-ID Filter OK !"
                                                           : "Config Command Timeout");
        EXPECT_EQ(read.RowCount(), rows);
        EXPECT_TRUE(clock.sleeps.empty());  // waited on the port, not by the clock
        EXPECT_TRUE(PortIsFree());
    }
}

}  // namespace
}  // namespace b6409
