#include "link/system_link_factory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_format.h"
#include "link/serial/serial_link.h"
#include "link/socketcan/can_layer_fakes.h"
#include "link/socketcan/can_links.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

TEST(SystemLinkFactory, EveryKindHasTheLinkOfItsTransport) {
    test::RecordingClock clock;
    test::SocketPairOpener sockets;
    SystemLinkFactory links(clock, DefaultComPortPath, DefaultCanInterfaceName, &sockets);
    const LinkNumbers numbers{1, 0, 1, 1};
    for (const DeviceKindInfo& info : AllDeviceKinds()) {
        const auto link = links.MakeLink(info.kind, numbers);
        ASSERT_TRUE(link) << info.caption;
        DeviceLink* made = link.get();
        switch (info.kind) {
            case DeviceKind::Scv1:
            case DeviceKind::Ucv1:
            case DeviceKind::Ecv1d:
                EXPECT_TRUE(dynamic_cast<SerialLink*>(made)) << info.caption;
                break;
            case DeviceKind::Uhv1:
            case DeviceKind::Uhv2:
                EXPECT_TRUE(dynamic_cast<UhvLink*>(made)) << info.caption;
                break;
            case DeviceKind::Pcm1:
                EXPECT_TRUE(dynamic_cast<PcmLink*>(made)) << info.caption;
                break;
            case DeviceKind::Pcc2:
            case DeviceKind::Pcc4:
                EXPECT_TRUE(dynamic_cast<PccLink*>(made)) << info.caption;
                break;
        }
    }
    EXPECT_TRUE(sockets.opened.empty());  // making a link opens nothing
}

TEST(SystemLinkFactory, CanPortsAreNamedByTheInjectedNamer) {
    test::RecordingClock clock;
    test::SocketPairOpener sockets;
    sockets.interfaces = {"bus3_2", "bus5_1"};
    std::vector<std::string> asked;
    auto names = [&asked](DeviceKind kind, int deviceOrBoard, int canPort) {
        asked.push_back(InfoOf(kind).cliName);
        return FormatText("bus%d_%d", deviceOrBoard, canPort);
    };
    SystemLinkFactory links(clock, DefaultComPortPath, names, &sockets);

    auto uhv = links.MakeLink(DeviceKind::Uhv2, LinkNumbers{1, 2, 3, 2});
    EXPECT_FALSE(uhv->Open());
    uhv->Close();
    auto pcc = links.MakeLink(DeviceKind::Pcc4, LinkNumbers{1, 5, 6, 1});
    EXPECT_FALSE(pcc->Open());
    pcc->Close();
    EXPECT_EQ(sockets.opened, (std::vector<std::string>{"bus3_2", "bus5_1"}));
    EXPECT_EQ(asked, (std::vector<std::string>{"uhv2", "pcc2", "pcc2"}));  // reset, then init
}

}  // namespace
}  // namespace b6409
