#include "link/socketcan/can_links.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "link/socketcan/can_layer_fakes.h"
#include "link/socketcan/socketcan_cards.h"
#include "link/socketcan/socketcan_uhv.h"
#include "protocol/exchange.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

using Calls = std::vector<std::string>;

class CanLinkFactory : public LinkFactory {
  public:
    CanLinkFactory(UhvCanApi& uhv, PcmApi& pcm, PccApi& pcc) : uhv_(uhv), pcm_(pcm), pcc_(pcc) {}

    std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) override {
        if (kind == DeviceKind::Uhv1 || kind == DeviceKind::Uhv2)
            return std::make_unique<UhvLink>(uhv_, kind, numbers);
        if (kind == DeviceKind::Pcm1) return std::make_unique<PcmLink>(pcm_, numbers);
        return std::make_unique<PccLink>(pcc_, numbers);
    }

  private:
    UhvCanApi& uhv_;
    PcmApi& pcm_;
    PccApi& pcc_;
};

ExchangeInputs Inputs(DeviceKind kind, uint8_t devicePortIndex, uint8_t canPortIndex) {
    ExchangeInputs inputs;
    inputs.settings.ChooseDeviceKind(kind);
    inputs.settings.devicePortIndex = devicePortIndex;
    inputs.settings.canPortIndex = canPortIndex;
    return inputs;
}

// The real layers over socketpairs, each behind a spy, with the module answering on the far end.
class CanLinkExchangeTest : public ::testing::Test {
  protected:
    test::SocketPairOpener opener;
    test::InterfaceNames names;
    SocketCanUhv uhvLayer{opener, names.Namer()};
    SocketCanCards cardLayer{opener, names.Namer()};
    PcmFacet pcmLayer{cardLayer};
    PccFacet pccLayer{cardLayer};
    test::UhvSpy uhv{&uhvLayer};
    test::PcmSpy pcm{&pcmLayer};
    test::PccSpy pcc{&pccLayer};
    CanLinkFactory links{uhv, pcm, pcc};
    test::RecordingSink sink;
    test::ModuleOnSleep module{opener};

    CommandResult GetModuleInfo(DeviceKind kind, uint8_t devicePortIndex, uint8_t canPortIndex) {
        return ExchangeCommand(kind, CommandKind::GetModuleInfo,
                               Inputs(kind, devicePortIndex, canPortIndex), {links, sink, module});
    }

    void ExpectOneRequestOn(const std::string& ifname) {
        ASSERT_EQ(module.requests.size(), 1u);
        EXPECT_EQ(module.requests[0].first, ifname);
        EXPECT_EQ(module.requests[0].second.can_id, 0x001u);
        EXPECT_EQ(module.requests[0].second.len, 8);
        EXPECT_EQ(sink.Texts(), Calls{"FW_Ver = v1.05"});
        EXPECT_TRUE(test::PeerClosed(opener.moduleEnd[ifname])) << "link left open";
    }

    // A UHV-2, a PCM-1 and a PCC-2, each on can1; every one fails with its message and the
    // system's reason.
    void ExpectEachKindFailsOnCan1(const Calls& messages, const std::string& reason) {
        EXPECT_EQ(GetModuleInfo(DeviceKind::Uhv2, 0, 1), CommandResult::LinkFailed);
        EXPECT_EQ(GetModuleInfo(DeviceKind::Pcm1, 0, 1), CommandResult::LinkFailed);
        EXPECT_EQ(GetModuleInfo(DeviceKind::Pcc2, 0, 1), CommandResult::LinkFailed);
        EXPECT_EQ(sink.Texts(), messages);
        EXPECT_EQ(sink.details, Calls(3, "SocketCAN interface can1: " + reason));
    }
};

TEST_F(CanLinkExchangeTest, UhvAdapterOpensTheChosenPortAndClosesTheAdapter) {
    ASSERT_EQ(GetModuleInfo(DeviceKind::Uhv2, 2, 1), CommandResult::Ok);  // COM3, CAN2
    EXPECT_EQ(uhv.calls, (Calls{"OpenAdapter(port=3,kind=2,can1=0,can2=250000)", "PrepareSend(2)",
                                "SendFrame(2,format=0,remote=0,dlc=8,id=0x001)", "CountReceived(2)",
                                "ReceiveFrame(2)", "CloseAdapter(3)"}));
    ExpectOneRequestOn("can1");

    // Nothing of the first exchange is left in use: COM3 opens again, now as a UHV-1.
    uhv.calls.clear();
    ASSERT_EQ(GetModuleInfo(DeviceKind::Uhv1, 2, 0), CommandResult::Ok);
    EXPECT_EQ(uhv.calls.front(), "OpenAdapter(port=3,kind=1,can1=250000,can2=0)");
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
}

TEST_F(CanLinkExchangeTest, PcmCardActivatesInitialisesAndConfiguresAcceptingAll) {
    ASSERT_EQ(GetModuleInfo(DeviceKind::Pcm1, 1, 0), CommandResult::Ok);  // board 1, CAN1
    EXPECT_EQ(pcm.calls, (Calls{"ActivateCard(1)", "InitPort(1,1)",
                                "ConfigurePort(1,1,code=00000000,mask=FFFFFFFF,rate=5)",
                                "SendFrame(1,1,format=0,remote=0,dlc=8,id=0x001)",
                                "CountReceived(1,1)", "ReceiveFrame(1,1)", "CloseCard(1)"}));
    ExpectOneRequestOn("can0");
}

TEST_F(CanLinkExchangeTest, PccCardResetsThePortAndInstallsTheHandlerBeforeSending) {
    ASSERT_EQ(GetModuleInfo(DeviceKind::Pcc4, 2, 2), CommandResult::Ok);  // board 2, CAN3
    EXPECT_EQ(pcc.calls, (Calls{"ActivateCard(2)", "ResetPort(2,3)", "InitPort(2,3)",
                                "ConfigurePort(2,3,code=00000000,mask=FFFFFFFF,rate=5)",
                                "EnableReceiveInterrupt(2,3)", "InstallInterruptHandler(2)",
                                "SendFrame(2,3,format=0,remote=0,dlc=8,id=0x001)",
                                "CountReceived(2,3)", "ReceiveFrame(2,3)", "CloseCard(2)"}));
    ExpectOneRequestOn("can2");
}

TEST_F(CanLinkExchangeTest, AMissingInterfaceIsNamedWithTheSystemsReason) {
    opener.interfaces = {"can0"};
    ExpectEachKindFailsOnCan1({"DEV_PortNotExist_Err", "Init Board Error ! (ErrCode:4)",
                               "CAN Reset Port 2 Error ! (ErrCode:4)"},
                              "No such device");
}

TEST_F(CanLinkExchangeTest, AnInterfaceDownOpensButCannotSend) {
    opener.SetDown("can1", true);
    ExpectEachKindFailsOnCan1({"CAN_DevDisconnect_Err", "Send CANMsg Error ! (ErrCode:11)",
                               "Send CANMsg Error ! (ErrCode:11)"},
                              "Network is down");
    EXPECT_TRUE(module.requests.empty());

    opener.SetDown("can1", false);
    EXPECT_EQ(GetModuleInfo(DeviceKind::Pcc2, 0, 1), CommandResult::Ok);
}

TEST_F(CanLinkExchangeTest, ReceivedFramesKeepFormatRemoteFlagAndDlc) {
    const LinkNumbers numbers{1, 0, 1, 1};
    UhvLink uhvLink(uhvLayer, DeviceKind::Uhv1, numbers);
    PcmLink pcmLink(pcmLayer, numbers);
    for (DeviceLink* link :
         {static_cast<DeviceLink*>(&uhvLink), static_cast<DeviceLink*>(&pcmLink)}) {
        ASSERT_FALSE(link->Open());
        test::Put(opener.moduleEnd["can0"],
                  test::Frame(0x1ABCDEF | CAN_EFF_FLAG | CAN_RTR_FLAG, {1, 2, 3}, 3));
        test::Put(opener.moduleEnd["can0"], test::Frame(0x7FF, {}, 0));
        ASSERT_EQ(link->WaitingCount(), 2u);

        ReceiveOutcome first = link->ReceiveFrame();
        ASSERT_FALSE(first.failure);
        EXPECT_EQ(first.frame.id, 0x1ABCDEFu);
        EXPECT_TRUE(first.frame.extended);
        EXPECT_TRUE(first.frame.remote);
        EXPECT_EQ(first.frame.dlc, 3);
        EXPECT_EQ(first.frame.data[2], 3);
        ReceiveOutcome second = link->ReceiveFrame();
        EXPECT_EQ(second.frame.id, 0x7FFu);
        EXPECT_FALSE(second.frame.extended || second.frame.remote);
        EXPECT_EQ(second.frame.dlc, 0);
        link->Close();
    }
}

// A fake layer fails one call; the exchange shows the link's message once and closes.
struct FailureCase {
    DeviceKind kind;
    uint8_t devicePortIndex;
    uint8_t canPortIndex;
    const char* failingCall;
    int code;
    const char* message;
    const char* closeCall;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << "kind " << int(c.kind) << ", " << c.failingCall << " -> " << c.code;
}

class CanLinkFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CanLinkFailureTest, ShowsTheMessageAndClosesAfterTheFailingCall) {
    const FailureCase& c = GetParam();
    test::UhvSpy uhv;
    test::PcmSpy pcm;
    test::PccSpy pcc;
    test::CallLog& log = c.kind == DeviceKind::Uhv1 || c.kind == DeviceKind::Uhv2
                             ? static_cast<test::CallLog&>(uhv)
                         : c.kind == DeviceKind::Pcm1 ? static_cast<test::CallLog&>(pcm)
                                                      : static_cast<test::CallLog&>(pcc);
    log.results[c.failingCall] = c.code;
    CanLinkFactory links{uhv, pcm, pcc};
    test::RecordingSink sink;
    test::RecordingClock clock;

    EXPECT_EQ(
        ExchangeCommand(c.kind, CommandKind::GetModuleInfo,
                        Inputs(c.kind, c.devicePortIndex, c.canPortIndex), {links, sink, clock}),
        CommandResult::LinkFailed);
    EXPECT_EQ(sink.Texts(), Calls{c.message});
    ASSERT_GE(log.calls.size(), 2u);
    EXPECT_EQ(log.calls.back(), c.closeCall);
    const std::string& failed = log.calls[log.calls.size() - 2];
    EXPECT_EQ(failed.substr(0, failed.find('(')), c.failingCall);
}

INSTANTIATE_TEST_SUITE_P(
    AllShapes, CanLinkFailureTest,
    ::testing::Values(
        FailureCase{DeviceKind::Uhv1, 0, 0, "OpenAdapter", 4, "DEV_PortInUse_Err",
                    "CloseAdapter(1)"},
        FailureCase{DeviceKind::Uhv2, 6, 1, "OpenAdapter", 16, "UHV_Err(16)", "CloseAdapter(7)"},
        FailureCase{DeviceKind::Uhv2, 0, 1, "SendFrame", 15, "CAN_TxBufFull", "CloseAdapter(1)"},
        FailureCase{DeviceKind::Uhv1, 0, 0, "ReceiveFrame", 10, "CAN_DevDisconnect_Err",
                    "CloseAdapter(1)"},
        FailureCase{DeviceKind::Pcm1, 3, 0, "ActivateCard", 1, "Active Board Error ! (ErrCode:1)",
                    "CloseCard(3)"},
        FailureCase{DeviceKind::Pcm1, 3, 0, "InitPort", 4, "Init Board Error ! (ErrCode:4)",
                    "CloseCard(3)"},
        FailureCase{DeviceKind::Pcm1, 3, 0, "ConfigurePort", 8,
                    "Configure Board Error ! (ErrCode:8)", "CloseCard(3)"},
        FailureCase{DeviceKind::Pcm1, 3, 0, "SendFrame", 10, "Send CANMsg Error ! (ErrCode:10)",
                    "CloseCard(3)"},
        FailureCase{DeviceKind::Pcm1, 3, 0, "ReceiveFrame", 11, "Recv CANMsg Error ! (ErrCode:11)",
                    "CloseCard(3)"},
        FailureCase{DeviceKind::Pcc2, 5, 1, "ResetPort", 4, "CAN Reset Port 2 Error ! (ErrCode:4)",
                    "CloseCard(5)"},
        FailureCase{DeviceKind::Pcc4, 0, 3, "InitPort", 6, "CAN Init Port 4 Error ! (ErrCode:6)",
                    "CloseCard(0)"},
        FailureCase{DeviceKind::Pcc4, 0, 2, "ConfigurePort", 8,
                    "CAN Config Port 3 Error ! (ErrCode:8)", "CloseCard(0)"},
        FailureCase{DeviceKind::Pcc2, 5, 1, "EnableReceiveInterrupt", 5,
                    "CAN Enable IRQ Port 2 Error ! (ErrCode:5)", "CloseCard(5)"},
        FailureCase{DeviceKind::Pcc2, 5, 1, "InstallInterruptHandler", 2,
                    "CAN_InstallIrq error! (ErrCode:2)", "CloseCard(5)"},
        FailureCase{DeviceKind::Pcc4, 15, 0, "SendFrame", 9, "Send CANMsg Error ! (ErrCode:9)",
                    "CloseCard(15)"},
        FailureCase{DeviceKind::Pcc4, 15, 0, "ReceiveFrame", 12, "Recv CANMsg Error ! (ErrCode:12)",
                    "CloseCard(15)"}));

TEST(CanLinkResultTest, UhvPreSendResultIsIgnored) {
    test::UhvSpy uhv;
    test::PcmSpy pcm;
    test::PccSpy pcc;
    uhv.results["PrepareSend"] = 5;
    CanLinkFactory links{uhv, pcm, pcc};
    test::RecordingSink sink;
    test::RecordingClock clock;
    EXPECT_EQ(ExchangeCommand(DeviceKind::Uhv1, CommandKind::GetModuleInfo,
                              Inputs(DeviceKind::Uhv1, 0, 0), {links, sink, clock}),
              CommandResult::Ok);
    EXPECT_EQ(sink.Texts(), Calls{"FW_Ver = v1.05"});
}

}  // namespace
}  // namespace b6409
