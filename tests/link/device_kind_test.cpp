#include "link/device_kind.h"

#include <gtest/gtest.h>

#include "link/link_settings.h"

namespace b6409 {
namespace {

TEST(DeviceKinds, ListsFollowTheChosenKind) {
    EXPECT_EQ(CanPortEntries(DeviceKind::Pcc4),
              (std::vector<std::string>{"CAN1", "CAN2", "CAN3", "CAN4"}));
    const auto boards = DevPortEntries(DeviceKind::Pcc4);
    ASSERT_EQ(boards.size(), 16u);
    EXPECT_EQ(boards.front(), "0");
    EXPECT_EQ(boards.back(), "15");
    EXPECT_STREQ(InfoOf(DeviceKind::Pcc4).devPortLabel, "Board_ID :");

    const auto coms = DevPortEntries(DeviceKind::Uhv2);
    ASSERT_EQ(coms.size(), 256u);
    EXPECT_EQ(coms.back(), "COM256");
    EXPECT_EQ(CanPortEntries(DeviceKind::Uhv2).size(), 2u);
    EXPECT_EQ(CanPortEntries(DeviceKind::Scv1), std::vector<std::string>{"CAN1"});
    EXPECT_STREQ(InfoOf(DeviceKind::Ecv1d).caption, "ECV-1D");
    EXPECT_EQ(InfoOf(DeviceKind::Scv1).radioControlId, 1000);
}

TEST(DeviceKinds, ChoosingAKindStartsItsListsAtTheFirstEntry) {
    LinkSettings settings;
    settings.ChooseDeviceKind(DeviceKind::Uhv2);
    settings.canPortIndex = 1;
    settings.devicePortIndex = 255;
    settings.modulePortIndex = 1;
    settings.ChooseDeviceKind(DeviceKind::Scv1);
    EXPECT_EQ(settings.canPortIndex, 0);
    EXPECT_EQ(settings.devicePortIndex, 0);
    EXPECT_EQ(settings.modulePortIndex, 1);  // the module port is not the device's choice

    settings.devicePortIndex = 255;
    const LinkNumbers numbers = settings.Derive();
    EXPECT_EQ(numbers.devicePortNumber, 256);  // COM256 stays 256
    EXPECT_EQ(numbers.boardNumber, 255);
    EXPECT_EQ(numbers.modulePort, 2);
}

}  // namespace
}  // namespace b6409
