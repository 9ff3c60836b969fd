#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/socketcan/can_interface_names.h"
#include "link/socketcan/can_layer_fakes.h"
#include "link/socketcan/can_socket.h"
#include "link/socketcan/socketcan_cards.h"
#include "link/socketcan/socketcan_uhv.h"

namespace b6409 {
namespace {

using test::Frame;
using test::Put;

TEST(CanInterfaceNameTest, EnvironmentBeatsDefaultAndOverrideBeatsBoth) {
    EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Uhv2, 3, 2), "can1");
    EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Pcc4, 0, 4), "can3");
    EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Scv1, 1, 1), "");
    {
        test::ScopedEnv uhv("B6409_UHV3_CAN2", "vcan7");
        test::ScopedEnv pcm("B6409_PCM0_CAN1", "pcm0");
        EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Uhv1, 3, 2), "vcan7");
        EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Uhv2, 3, 1), "can0");
        EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Pcm1, 0, 1), "pcm0");
        EXPECT_EQ(DefaultCanInterfaceName(DeviceKind::Pcc2, 0, 1), "can0");  // another family

        const CanInterfaceNamer overridden = CanInterfaceOverride("vcan0");
        EXPECT_EQ(overridden(DeviceKind::Uhv2, 3, 2), "vcan0");
        EXPECT_EQ(overridden(DeviceKind::Pcc4, 9, 4), "vcan0");
        EXPECT_EQ(overridden(DeviceKind::Ecv1d, 1, 1), "");
        const CanInterfaceNamer none = CanInterfaceOverride("");
        EXPECT_EQ(none(DeviceKind::Uhv2, 3, 2), "vcan7");
    }
}

TEST(SocketCanOpenerTest, AMissingInterfaceReadsAsMissing) {
    SocketCanOpener opener;
    int error = 0;
    EXPECT_EQ(opener.OpenBound("b6409-none", &error), -1);
    EXPECT_EQ(error, ENODEV);
    EXPECT_EQ(opener.OpenBound("a-name-longer-than-ifnamsiz", &error), -1);
    EXPECT_EQ(error, ENODEV);
    EXPECT_FALSE(opener.InterfaceExists("b6409-none"));
    EXPECT_TRUE(opener.InterfaceExists("lo"));
}

class UhvLayerTest : public ::testing::Test {
  protected:
    test::SocketPairOpener opener;
    test::InterfaceNames names;
    SocketCanUhv uhv{opener, names.Namer()};

    int Open(uint8_t port, uint8_t kind, uint32_t can1, uint32_t can2) {
        const UhvOpenRecord record{port, kind, {}, can1, can2};
        return uhv.OpenAdapter(&record);
    }
    int Send(uint8_t canPort, uint32_t id = 0x001, uint8_t format = 0) {
        const UhvFrameRecord frame{format, 0, 8, 0, id};
        return uhv.SendFrame(canPort, &frame);
    }
    uint32_t Count(uint8_t canPort) {
        uint32_t count = 99;
        uhv.CountReceived(canPort, &count);
        return count;
    }
};

TEST_F(UhvLayerTest, OpenChecksKindPortsRatesAndWhatIsInUse) {
    opener.interfaces = {"can0"};
    EXPECT_EQ(Open(1, 3, 250000, 0), 1);  // DEV_ModName_Err
    EXPECT_EQ(Open(1, 1, 0, 250000), 8);  // a UHV-1 has no CAN2
    EXPECT_EQ(Open(1, 2, 0, 0), 6);       // nothing to open
    EXPECT_EQ(Open(1, 2, 0, 250000), 3);  // can1 is missing
    EXPECT_EQ(uhv.LastFailureDetail(), "SocketCAN interface can1: No such device");
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(Open(1, 2, 0, 0), 6);
    EXPECT_EQ(uhv.LastFailureDetail(), "");  // no system reason, and nothing of the last call

    ASSERT_EQ(Open(3, 2, 250000, 0), 0);
    EXPECT_EQ(uhv.RequestedBitRate(1), 250000u);
    EXPECT_EQ(Open(3, 2, 250000, 0), 4);  // the same adapter
    EXPECT_EQ(Open(4, 1, 125000, 0), 4);  // another adapter on the same CAN port number
    EXPECT_EQ(opener.opened, std::vector<std::string>{"can0"});

    // COM256 travels as 0 and still has its own name.
    names.own[{DeviceKind::Uhv2, 256, 2}] = "can0";
    ASSERT_EQ(Open(0, 2, 0, 250000), 0);
    EXPECT_EQ(opener.opened.back(), "can0");
    EXPECT_EQ(uhv.CloseAdapter(0), 0);
}

TEST_F(UhvLayerTest, PortCallsNeedAnOpenPortAndClosingElsewhereIsHarmless) {
    ASSERT_EQ(Open(3, 2, 250000, 0), 0);
    for (uint8_t bad : {0, 3}) {
        EXPECT_EQ(uhv.PrepareSend(bad), 8);
        EXPECT_EQ(Send(bad), 8);
    }
    EXPECT_EQ(Send(2), 5);  // CAN2 was opened at rate 0
    UhvFrameRecord record;
    EXPECT_EQ(uhv.ReceiveFrame(2, &record), 5);
    EXPECT_EQ(Count(2), 0u);

    EXPECT_EQ(uhv.CloseAdapter(9), 5);  // not open: changes nothing
    EXPECT_EQ(Send(1), 0);
    EXPECT_TRUE(test::Take(opener.moduleEnd["can0"]));

    const int firstEnd = opener.moduleEnd["can0"];
    EXPECT_EQ(uhv.CloseAdapter(3), 0);
    EXPECT_TRUE(test::PeerClosed(firstEnd));
    EXPECT_EQ(Send(1), 5);
    EXPECT_EQ(uhv.CloseAdapter(3), 5);
    EXPECT_EQ(Open(3, 2, 250000, 0), 0);  // reopens after the close
}

TEST_F(UhvLayerTest, CountsEveryWaitingFrameAndPrepareSendDiscardsThem) {
    ASSERT_EQ(Open(1, 1, 250000, 0), 0);
    const int module = opener.moduleEnd["can0"];
    // A CAN FD frame never reaches a classic CAN_RAW socket; cut short, it is no frame either.
    canfd_frame fd{};
    fd.can_id = 0x401;
    fd.len = 64;
    ASSERT_EQ(send(module, &fd, sizeof fd, 0), static_cast<ssize_t>(sizeof fd));
    for (canid_t id : {0x401, 0x402, 0x403}) Put(module, Frame(id));
    EXPECT_EQ(Count(1), 3u);
    EXPECT_EQ(Count(1), 3u);  // counting takes nothing away
    UhvFrameRecord record;
    for (uint32_t id : {0x401u, 0x402u, 0x403u}) {
        ASSERT_EQ(uhv.ReceiveFrame(1, &record), 0);
        EXPECT_EQ(record.id, id);
    }
    EXPECT_EQ(uhv.ReceiveFrame(1, &record), 14);  // CAN_RxBufEmpty

    Put(module, Frame(0x123));
    EXPECT_EQ(Count(1), 1u);
    Put(module, Frame(0x124));
    EXPECT_EQ(uhv.PrepareSend(1), 0);
    EXPECT_EQ(Count(1), 0u);
}

TEST_F(UhvLayerTest, SendAndReceiveFailuresAreNamedByCause) {
    ASSERT_EQ(Open(1, 1, 250000, 0), 0);
    EXPECT_EQ(Send(1, 0x800), 9);          // too wide for 11 bits
    EXPECT_EQ(Send(1, 0x1FFFFFFF, 1), 0);  // fits 29 bits
    EXPECT_EQ(Send(1, 0x001, 2), 9);       // no such format
    const auto sent = test::Take(opener.moduleEnd["can0"]);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->can_id, 0x1FFFFFFFu | CAN_EFF_FLAG);

    // Fill the socket as a full transmit queue would be.
    const can_frame filler = Frame(0x555);
    while (send(opener.layerEnd["can0"], &filler, sizeof filler, MSG_DONTWAIT) > 0) {
    }
    EXPECT_EQ(Send(1), 15);  // CAN_TxBufFull

    // The interface goes down once the queue has drained: the next call hears of it, and
    // sends fail until it is up again.
    while (test::Take(opener.moduleEnd["can0"])) {
    }
    opener.SetDown("can0", true);
    UhvFrameRecord record;
    EXPECT_EQ(uhv.ReceiveFrame(1, &record), 10);  // CAN_DevDisconnect_Err
    EXPECT_EQ(uhv.LastFailureDetail(), "SocketCAN interface can0: Network is down");
    EXPECT_EQ(uhv.ReceiveFrame(1, &record), 14);
    EXPECT_EQ(Send(1), 10);
    EXPECT_EQ(uhv.LastFailureDetail(), "SocketCAN interface can0: Network is down");
    opener.SetDown("can0", false);
    EXPECT_EQ(Send(1), 0);

    // Removed, it leaves the socket bound to nothing.
    opener.Remove("can0");
    EXPECT_EQ(Send(1), 10);
    EXPECT_EQ(uhv.LastFailureDetail(), "SocketCAN interface can0: No such device or address");
    EXPECT_EQ(uhv.ReceiveFrame(1, &record), 10);
    EXPECT_EQ(uhv.LastFailureDetail(), "SocketCAN interface can0: No such device");
}

class CardLayerTest : public ::testing::Test {
  protected:
    test::SocketPairOpener opener;
    test::InterfaceNames names;
    SocketCanCards cards{opener, names.Namer()};
    PcmFacet pcmFacet{cards};
    PccFacet pccFacet{cards};
    PcmApi& pcm = pcmFacet;
    PccApi& pcc = pccFacet;
    CardPortConfig acceptAll{};
};

TEST_F(CardLayerTest, PortCallsNeedAnActiveCardAndAnInitialisedPort) {
    using namespace card_result;
    CardFrameRecord frame{};
    EXPECT_EQ(pcc.ActivateCard(16), kBoardNumber);
    EXPECT_EQ(pcc.InitPort(0, 1), kNotActive);
    ASSERT_EQ(pcc.ActivateCard(0), kOk);
    EXPECT_EQ(pcc.ResetPort(0, 0), kPortNumber);
    EXPECT_EQ(pcc.InitPort(0, 5), kPortNumber);
    EXPECT_EQ(pcc.ConfigurePort(0, 1, &acceptAll), kNotInitialised);
    EXPECT_EQ(pcc.EnableReceiveInterrupt(0, 1), kNotInitialised);
    EXPECT_EQ(pcc.SendFrame(0, 1, &frame), kNotInitialised);
    EXPECT_EQ(pcc.CountReceived(0, 1), 0);
    EXPECT_EQ(pcc.InstallInterruptHandler(1), kNotActive);

    opener.interfaces = {"can0"};
    EXPECT_EQ(pcc.ResetPort(0, 2), kNoInterface);
    EXPECT_EQ(pcc.LastFailureDetail(), "SocketCAN interface can1: No such device");
    EXPECT_EQ(pcc.InitPort(0, 5), kPortNumber);
    EXPECT_EQ(pcc.LastFailureDetail(), "");
    EXPECT_EQ(pcc.InitPort(0, 2), kNoInterface);
    ASSERT_EQ(pcc.ResetPort(0, 1), kOk);
    ASSERT_EQ(pcc.InitPort(0, 1), kOk);
    EXPECT_EQ(pcc.ReceiveFrame(0, 1, &frame), kRxEmpty);
    frame.dlc = 9;
    EXPECT_EQ(pcc.SendFrame(0, 1, &frame), kBadFrame);

    EXPECT_EQ(pcc.CloseCard(0), kOk);
    EXPECT_TRUE(test::PeerClosed(opener.moduleEnd["can0"]));
    EXPECT_EQ(pcc.CloseCard(0), kNotActive);  // harmless
    EXPECT_EQ(pcc.EnableReceiveInterrupt(0, 1), kNotActive);
}

TEST_F(CardLayerTest, FamiliesKeepTheirOwnBoardsAndInterfaces) {
    // Cards are named as PCM-1 and PCC-2, whichever PCC card it is.
    names.own[{DeviceKind::Pcm1, 0, 1}] = "pcm0";
    names.own[{DeviceKind::Pcc2, 0, 1}] = "pcc0";
    opener.interfaces = {"pcm0", "pcc0"};
    ASSERT_EQ(pcm.ActivateCard(0), 0);
    ASSERT_EQ(pcm.InitPort(0, 1), 0);
    EXPECT_EQ(pcc.InitPort(0, 1), card_result::kNotActive);
    ASSERT_EQ(pcc.ActivateCard(0), 0);
    ASSERT_EQ(pcc.InitPort(0, 1), 0);
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"pcm0", "pcc0"}));

    pcm.CloseCard(0);
    EXPECT_TRUE(test::PeerClosed(opener.moduleEnd["pcm0"]));
    CardFrameRecord frame{};
    frame.id = 0x201;
    frame.dlc = 8;
    ASSERT_EQ(pcc.SendFrame(0, 1, &frame), 0);
    const auto sent = test::Take(opener.moduleEnd["pcc0"]);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->can_id, 0x201u);
    EXPECT_EQ(pcm.SendFrame(0, 1, &frame), card_result::kNotActive);
}

// 11-bit 0x401 exactly, data or remote; everything below the 11-bit ID is don't care.
CardPortConfig Only401() {
    CardPortConfig only401{};
    const uint32_t code = 0x401u << 21;
    for (int i = 0; i < 4; ++i) {
        only401.acceptanceCode[i] = static_cast<uint8_t>(code >> (24 - 8 * i));
        only401.acceptanceMask[i] = static_cast<uint8_t>(0x001FFFFFu >> (24 - 8 * i));
    }
    return only401;
}

TEST_F(CardLayerTest, ConfigureInstallsTheAcceptanceFilterAndForgetsEarlierFrames) {
    ASSERT_EQ(pcm.ActivateCard(1), 0);
    ASSERT_EQ(pcm.InitPort(1, 1), 0);
    Put(opener.moduleEnd["can0"], Frame(0x100));
    const CardPortConfig only401 = Only401();
    ASSERT_EQ(pcm.ConfigurePort(1, 1, &only401), 0);
    EXPECT_EQ(pcm.CountReceived(1, 1), 0);
    EXPECT_EQ(opener.filters[opener.layerEnd["can0"]].size(), 2u);
    for (canid_t id : {0x402u, 0x401u | CAN_EFF_FLAG, 0x401u})
        Put(opener.moduleEnd["can0"], Frame(id));
    EXPECT_EQ(pcm.CountReceived(1, 1), 1);
}

using test::KernelDelivers;

TEST(AcceptanceFiltersTest, FollowTheCodeAndMaskOfEachFormat) {
    const auto all = AcceptanceFilters(CardPortConfig{});
    for (canid_t id : {0x000u, 0x7FFu, 0x123u | CAN_RTR_FLAG, 0x1ABCDEFu | CAN_EFF_FLAG,
                       0x1FFFFFFFu | CAN_EFF_FLAG | CAN_RTR_FLAG})
        EXPECT_TRUE(KernelDelivers(all, id)) << std::hex << id;
    // What the layers never ask for: no filters, and an inverted one.
    EXPECT_FALSE(KernelDelivers({}, 0x401));
    EXPECT_FALSE(KernelDelivers({{0x401 | CAN_INV_FILTER, CAN_SFF_MASK}}, 0x401));
    EXPECT_TRUE(KernelDelivers({{0x401 | CAN_INV_FILTER, CAN_SFF_MASK}}, 0x402));

    CardPortConfig only401 = Only401();
    const auto filters = AcceptanceFilters(only401);
    EXPECT_TRUE(KernelDelivers(filters, 0x401));
    EXPECT_TRUE(KernelDelivers(filters, 0x401 | CAN_RTR_FLAG));
    EXPECT_FALSE(KernelDelivers(filters, 0x402));
    EXPECT_FALSE(KernelDelivers(filters, 0x001));
    // A 29-bit frame is matched on its top 11 bits, as such a controller does.
    EXPECT_FALSE(KernelDelivers(filters, 0x401 | CAN_EFF_FLAG));
    EXPECT_TRUE(KernelDelivers(filters, (0x401u << 18) | CAN_EFF_FLAG));

    // With the remote bit cared for and clear, remote frames stay out.
    only401.acceptanceMask[1] &= ~0x10;
    EXPECT_FALSE(KernelDelivers(AcceptanceFilters(only401), 0x401 | CAN_RTR_FLAG));
    EXPECT_TRUE(KernelDelivers(AcceptanceFilters(only401), 0x401));
}

}  // namespace
}  // namespace b6409
