// The whole road of a command through a real pseudo-terminal: exchange, serial link, serial
// layer, the simulated converter and the simulated module behind it.
#include <gtest/gtest.h>

#include "support/serial_sim_fixture.h"

namespace b6409 {
namespace {

TEST_F(SerialSimulatorTest, ReadsTheFirmwareVersionThroughEveryConverter) {
    for (auto [converterKind, deviceKind] :
         {std::pair{sim::ConverterKind::Scv1, DeviceKind::Scv1},
          std::pair{sim::ConverterKind::Ucv1, DeviceKind::Ucv1},
          std::pair{sim::ConverterKind::Ecv1d, DeviceKind::Ecv1d}}) {
        Start({converterKind, 115200});
        sink.shown.clear();
        EXPECT_EQ(Run(CommandKind::GetModuleInfo, "", 1, deviceKind), CommandResult::Ok);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"FW_Ver = v1.05"});
        EXPECT_TRUE(PortIsFree());
        TearDown();
    }
}

TEST_F(SerialSimulatorTest, FindsAnScv1At9600OnTheSecondRate) {
    Start({sim::ConverterKind::Scv1, 9600});
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
    // One pause after the failed trial at 115200, then the exchange's wait after the send.
    EXPECT_EQ(clock.sleeps, (std::vector<unsigned>{100, 100}));
}

TEST_F(SerialSimulatorTest, ReplyPacingKeepsTheScv1SearchHandshakeAndFrames) {
    Start({sim::ConverterKind::Scv1, 9600});
    std::vector<std::vector<sim::ReceivedLine>> lines;
    for (const Pacing each : {Pacing::Fixed, Pacing::Reply}) {
        pacing = each;
        const size_t before = converter->LinesSeen().size();
        EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
        EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
        const auto seen = converter->LinesSeen();
        lines.emplace_back(seen.begin() + static_cast<std::ptrdiff_t>(before), seen.end());
    }
    EXPECT_EQ(lines[0], lines[1]);
    // The pause after the failed trial at 115200 stays; the fixed wait after the send is gone.
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>{100});
}

TEST_F(SerialSimulatorTest, OddRepliesAreReadAsTheModuleWouldMeanThem) {
    sim::FaultPlan lower;
    lower.lowerCaseDigits = true;
    Start({}, lower);
    module->SetState([&] {
        sim::ModuleState state = module->Snapshot();
        state.fwMajor = 0x1A;
        state.fwMinor = 0xBC;
        return state;
    }());
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1A.BC");

    sim::FaultPlan nonFrame;
    nonFrame.nonFrameReply = true;
    module->SetFaults(nonFrame);
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::ModuleError);
    EXPECT_EQ(sink.Last(), "ErrMsg= CAN_OtherDevBaud_Err");

    sim::FaultPlan otherNode;
    otherNode.otherNodeFirst = true;
    module->SetFaults(otherNode);
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::ModuleError);
    EXPECT_EQ(sink.Last(), "ErrMsg= Parameter_Format_Err");
    // The other node's frame was read; the module's own reply, still waiting, must not become the
    // reply of the next exchange.
    module->SetFaults({});
    EXPECT_EQ(Run(CommandKind::ResetModule), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "B-6409 Module Reset OK !");
    EXPECT_TRUE(PortIsFree());
}

TEST_F(SerialSimulatorTest, OptionCommandsSetAndReadTheModule) {
    Start();
    EXPECT_EQ(Run(CommandKind::GetUserBaud), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "No CAN1 User-defined Baudrate Record !");

    EXPECT_EQ(Run(CommandKind::SetUserBaud, "83.333"), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set CAN1 User-defined Baudrate OK !");
    ASSERT_TRUE(module->Snapshot().ports[0].userBaud.has_value());
    EXPECT_EQ(*module->Snapshot().ports[0].userBaud, (std::pair<uint16_t, uint16_t>{83, 333}));
    EXPECT_EQ(Run(CommandKind::GetUserBaud), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN1 User-defined Baudrate : 83.333 (Kbps)");

    EXPECT_EQ(Run(CommandKind::SetUserBaud, "125"), CommandResult::Ok);
    EXPECT_EQ(Run(CommandKind::GetUserBaud), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN1 User-defined Baudrate : 125.0 (Kbps)");

    EXPECT_EQ(Run(CommandKind::SetBusOffResetTime, "30"), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set Bus-Off Auto Reset Module OK !");
    EXPECT_EQ(Run(CommandKind::GetBusOffResetTime), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Bus-Off Auto Reset Time = 30 (Sec)");
    EXPECT_EQ(Run(CommandKind::SetBusOffResetTime, "0"), CommandResult::Ok);
    EXPECT_EQ(Run(CommandKind::GetBusOffResetTime), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Bus-Off Auto Reset Time = 0 (Sec) [Function Disabled]");

    EXPECT_EQ(Run(CommandKind::SetListenOnlyCan2, "1", 2), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Enable CAN2 Listen-Only Mode OK !");
    EXPECT_TRUE(module->Snapshot().ports[1].listenOnly);
    EXPECT_FALSE(module->Snapshot().ports[0].listenOnly);
    EXPECT_EQ(Run(CommandKind::GetListenOnlyCan2, "", 2), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN2 Listen-Only Mode Enabled");
    EXPECT_EQ(Run(CommandKind::SetListenOnlyCan2, "0", 2), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Disable CAN2 Listen-Only Mode OK !");
    EXPECT_EQ(Run(CommandKind::GetListenOnlyCan1), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN1 Listen-Only Mode Disabled");

    EXPECT_EQ(Run(CommandKind::ResetModule), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "B-6409 Module Reset OK !");
    EXPECT_EQ(module->Snapshot().resets, 1);
}

TEST_F(SerialSimulatorTest, AModuleErrorIsShownByName) {
    sim::FaultPlan faults;
    faults.errorAtRequest = 1;
    faults.errorCode = 4;
    Start({}, faults);
    EXPECT_EQ(Run(CommandKind::SetUserBaud, "250"), CommandResult::ModuleError);
    EXPECT_EQ(sink.Last(), "ErrMsg= CmdNo_Err");
    EXPECT_TRUE(PortIsFree());
}

}  // namespace
}  // namespace b6409
