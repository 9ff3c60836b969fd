// The USB adapters and the cards, end to end: exchange, link, SocketCAN layer, and the
// simulated module on the far end of a socketpair standing in for the CAN interface.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "link/system_link_factory.h"
#include "protocol/exchange.h"
#include "sim/can_socket_server.h"
#include "support/can_socket_pair.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

// Every socket the layers open is a socketpair whose far end the simulated module serves.
class SimulatedBusOpener : public CanSocketOpener {
  public:
    explicit SimulatedBusOpener(sim::ModuleSimulator& module) : module_(module) {}
    ~SimulatedBusOpener() override {
        for (auto& server : servers_) server->Stop();
        for (int fd : farEnds_) close(fd);
    }

    int OpenBound(const std::string& ifname, int* errorOut) override {
        if (!interfaces.count(ifname)) {
            *errorOut = ENODEV;
            return -1;
        }
        int farEnd = -1;
        const int fd = test::OpenCanSocketPair(&farEnd, errorOut);
        if (fd < 0) return -1;
        opened.push_back(ifname);
        farEnds_.push_back(farEnd);
        servers_.push_back(std::make_unique<sim::CanSocketModuleServer>(farEnd, module_));
        servers_.back()->Start();
        return fd;
    }
    bool InterfaceExists(const std::string& ifname) override {
        return interfaces.count(ifname) > 0;
    }
    int SetReceiveFilters(int, const std::vector<can_filter>&) override { return 0; }

    std::set<std::string> interfaces{"can0", "can1", "can2", "can3"};
    std::vector<std::string> opened;

  private:
    sim::ModuleSimulator& module_;
    std::vector<int> farEnds_;
    std::vector<std::unique_ptr<sim::CanSocketModuleServer>> servers_;
};

class CanSimulatorTest : public ::testing::Test {
  protected:
    CommandResult Run(DeviceKind kind, CommandKind command, uint8_t devicePortIndex,
                      uint8_t canPortIndex, std::string value = "") {
        ExchangeInputs inputs;
        inputs.settings.ChooseDeviceKind(kind);
        inputs.settings.devicePortIndex = devicePortIndex;
        inputs.settings.canPortIndex = canPortIndex;
        inputs.optionValueText = std::move(value);
        return ExchangeCommand(kind, command, inputs, {links, sink, clock});
    }

    sim::ModuleSimulator module;
    SimulatedBusOpener bus{module};
    SystemClock clock;
    test::RecordingSink sink;
    SystemLinkFactory links{clock, DefaultComPortPath, DefaultCanInterfaceName, &bus};
};

TEST_F(CanSimulatorTest, EveryAdapterAndCardReachesTheModule) {
    struct Case {
        DeviceKind kind;
        uint8_t devicePortIndex, canPortIndex;
        const char* interface;
    };
    const Case cases[] = {
        {DeviceKind::Uhv1, 2, 0, "can0"}, {DeviceKind::Uhv2, 0, 1, "can1"},
        {DeviceKind::Pcm1, 3, 0, "can0"}, {DeviceKind::Pcc2, 1, 1, "can1"},
        {DeviceKind::Pcc4, 0, 3, "can3"},
    };
    for (const Case& c : cases) {
        sink.shown.clear();
        bus.opened.clear();
        EXPECT_EQ(Run(c.kind, CommandKind::GetModuleInfo, c.devicePortIndex, c.canPortIndex),
                  CommandResult::Ok);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"FW_Ver = v1.05"})
            << InfoOf(c.kind).caption;
        EXPECT_EQ(bus.opened.back(), c.interface);
    }
}

TEST_F(CanSimulatorTest, OptionsRoundTripThroughACard) {
    EXPECT_EQ(Run(DeviceKind::Pcc2, CommandKind::SetUserBaud, 0, 1, "83.333"), CommandResult::Ok);
    EXPECT_EQ(Run(DeviceKind::Pcc2, CommandKind::GetUserBaud, 0, 1), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN1 User-defined Baudrate : 83.333 (Kbps)");
    EXPECT_EQ(Run(DeviceKind::Uhv2, CommandKind::SetBusOffResetTime, 4, 0, "45"),
              CommandResult::Ok);
    EXPECT_EQ(Run(DeviceKind::Pcm1, CommandKind::GetBusOffResetTime, 0, 0), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Bus-Off Auto Reset Time = 45 (Sec)");
}

TEST_F(CanSimulatorTest, AMissingInterfaceIsReportedInTheLibrarysWords) {
    bus.interfaces = {"can0"};
    EXPECT_EQ(Run(DeviceKind::Uhv2, CommandKind::GetModuleInfo, 0, 1), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Last(), "DEV_PortNotExist_Err");
    EXPECT_EQ(Run(DeviceKind::Pcc2, CommandKind::GetModuleInfo, 0, 1), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Last(), "CAN Reset Port 2 Error ! (ErrCode:4)");
    // Nothing stays open: the working port still opens afterwards.
    EXPECT_EQ(Run(DeviceKind::Uhv2, CommandKind::GetModuleInfo, 0, 0), CommandResult::Ok);
}

TEST_F(CanSimulatorTest, ASilentModuleTimesOutOverACard) {
    sim::FaultPlan faults;
    faults.silent = true;
    module.SetFaults(faults);
    EXPECT_EQ(Run(DeviceKind::Pcm1, CommandKind::GetModuleInfo, 0, 0), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Config Command Timeout"});
}

}  // namespace
}  // namespace b6409
