#include "app/main_window_state.h"

#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

class MainWindowStateTest : public ::testing::Test {
  protected:
    test::RecordingSink sink;
    MainWindowState state{sink};
};

TEST_F(MainWindowStateTest, StartsInTheDialogsStartState) {
    EXPECT_EQ(state.Settings().deviceKind, DeviceKind::Scv1);
    EXPECT_TRUE(state.IsCheckedRadio(control::Scv1Radio));
    EXPECT_FALSE(state.IsCheckedRadio(control::Ecv1dRadio));
    EXPECT_EQ(state.DevPortLabel(), "Dev_Port :");
    EXPECT_EQ(state.DevPortEntries().front(), "COM1");
    EXPECT_EQ(state.CanPortEntries(), std::vector<std::string>{"CAN1"});
    EXPECT_EQ(state.Mode(), IdListMode::Filter);
    EXPECT_TRUE(state.IsCheckedRadio(control::FilterModeRadio));
    EXPECT_TRUE(state.IsCheckedRadio(control::GetModInfoRadio));
    EXPECT_TRUE(state.IsCheckedRadio(control::SingleWidth11Radio) &&
                state.IsCheckedRadio(control::GroupWidth11Radio) &&
                state.IsCheckedRadio(control::TargetWidth11Radio));
    EXPECT_EQ(state.PendingCommand(), CommandKind::GetModuleInfo);
    EXPECT_FALSE(state.OptionValueEnabled());
    EXPECT_FALSE(state.OptionSelectorEnabled());
    EXPECT_TRUE(state.SingleBoxEnabled());
    EXPECT_FALSE(state.TargetRadiosEnabled());
    EXPECT_EQ(state.Editor().Edit(EditId::OptionValue).Text(), "83.333");
    EXPECT_EQ(state.Editor().Edit(EditId::OptionValue).LastAccepted(), "");
    EXPECT_EQ(state.Editor().Edit(EditId::To).Text(), "7FF");
    EXPECT_EQ(state.Table().RowCount(), 0u);
}

TEST_F(MainWindowStateTest, ListModeClicksApplyTheModeAndEmptyTheTable) {
    state.Table().AppendEntry({IdKind::Sid11, 0x123, 0});
    state.ClickListMode(IdListMode::Filter);  // the mode already chosen
    EXPECT_EQ(state.Table().RowCount(), 0u);

    state.Editor().ClickWidthRadio(WidthRadio::Group29);
    state.ClickListMode(IdListMode::Mapping);
    EXPECT_EQ(state.Editor().Edit(EditId::To).Text(), "7FF");  // ruled by the 11-bit target now
    EXPECT_EQ(state.Editor().Edit(EditId::To).Limit(), 8u);
    EXPECT_STREQ(state.GroupBoxCaption(), "Mapping ID (HEX)");
    EXPECT_STREQ(state.GetButtonCaption(), "Get CAN Mapping IDs");
    EXPECT_STREQ(state.SetButtonCaption(), "Set CAN Mapping IDs");
    EXPECT_STREQ(state.IdColumnHeader(), "Mapping IDs");
    EXPECT_FALSE(state.SingleBoxEnabled());
    EXPECT_TRUE(state.TargetRadiosEnabled());
    EXPECT_TRUE(state.IsCheckedRadio(control::MappingModeRadio));
    EXPECT_FALSE(state.IsCheckedRadio(control::FilterModeRadio));

    state.ClickListMode(IdListMode::Filter);
    EXPECT_EQ(state.Editor().Edit(EditId::To).Text(), "1FFFFFFF");  // the 29-bit group again
    EXPECT_STREQ(state.IdColumnHeader(), "Accepted IDs");
}

TEST_F(MainWindowStateTest, ThePendingCommandFollowsOptionSelectorAndModulePort) {
    EXPECT_TRUE(state.ClickOption(OptionRadio::SetModuleData));  // the value edit takes the focus
    state.ChooseOptionEntry(OptionEntry::ListenOnly);
    EXPECT_EQ(state.PendingCommand(), CommandKind::SetListenOnlyCan1);
    state.ChooseModulePort(1);
    EXPECT_EQ(state.PendingCommand(), CommandKind::SetListenOnlyCan2);
    EXPECT_TRUE(state.OptionValueEnabled());

    EXPECT_FALSE(state.ClickOption(OptionRadio::GetModuleData));
    EXPECT_EQ(state.PendingCommand(), CommandKind::GetListenOnlyCan2);
    EXPECT_FALSE(state.OptionValueEnabled());
    EXPECT_TRUE(state.OptionSelectorEnabled());
    state.ChooseOptionEntry(OptionEntry::BusOffTime);
    EXPECT_EQ(state.PendingCommand(), CommandKind::GetBusOffResetTime);

    state.ClickOption(OptionRadio::GetModInfo);
    state.ChooseModulePort(0);
    state.ChooseOptionEntry(OptionEntry::UserBaud);
    EXPECT_EQ(state.PendingCommand(), CommandKind::GetModuleInfo);
    state.ClickOption(OptionRadio::ResetModule);
    EXPECT_EQ(state.PendingCommand(), CommandKind::ResetModule);
    EXPECT_FALSE(state.OptionSelectorEnabled());

    state.OptionValueFocused();
    EXPECT_EQ(state.CheckedOption(), OptionRadio::SetModuleData);
    EXPECT_EQ(state.PendingCommand(), CommandKind::SetUserBaud);
    EXPECT_TRUE(state.IsCheckedRadio(control::SetModuleDataRadio));
    EXPECT_FALSE(state.IsCheckedRadio(control::ResetModuleRadio));
}

TEST_F(MainWindowStateTest, ChoicesAreIndependentOfOneAnother) {
    state.ClickListMode(IdListMode::Mapping);
    state.ClickOption(OptionRadio::GetModuleData);
    state.ChooseDeviceKind(DeviceKind::Pcc4);
    EXPECT_EQ(state.Mode(), IdListMode::Mapping);
    EXPECT_EQ(state.CheckedOption(), OptionRadio::GetModuleData);
    state.ClickListMode(IdListMode::Filter);
    EXPECT_EQ(state.CheckedOption(), OptionRadio::GetModuleData);
    EXPECT_TRUE(state.IsCheckedRadio(control::Pcc4Radio));
}

TEST_F(MainWindowStateTest, DeviceKindsFillTheirListsAndResetThePositions) {
    state.ChooseDeviceKind(DeviceKind::Uhv2);
    state.ChooseCanPort(1);
    state.ChooseDevicePort(41);
    EXPECT_EQ(state.Settings().canPortIndex, 1);
    state.ChooseDeviceKind(DeviceKind::Scv1);
    EXPECT_EQ(state.Settings().canPortIndex, 0);
    EXPECT_EQ(state.Settings().devicePortIndex, 0);
    EXPECT_EQ(state.CanPortEntries(), std::vector<std::string>{"CAN1"});

    state.ChooseDeviceKind(DeviceKind::Pcc4);
    EXPECT_EQ(state.DevPortLabel(), "Board_ID :");
    EXPECT_EQ(state.DevPortEntries().size(), 16u);
    EXPECT_EQ(state.CanPortEntries().size(), 4u);
    state.ChooseCanPort(7);  // no such entry: the stored choice stays
    EXPECT_EQ(state.Settings().canPortIndex, 0);
}

TEST_F(MainWindowStateTest, TheOptionValueIsFilteredOnlyWhileTheSelectorShowsTheBitRate) {
    EntryEditor& editor = state.Editor();
    EXPECT_FALSE(editor.Edit(EditId::OptionValue).UserChange("0.5"));
    EXPECT_EQ(editor.Edit(EditId::OptionValue).Text(), "");
    state.ChooseOptionEntry(OptionEntry::BusOffTime);
    EXPECT_TRUE(editor.Edit(EditId::OptionValue).UserChange("0.5"));
    EXPECT_EQ(editor.Edit(EditId::OptionValue).Text(), "0.5");
}

}  // namespace
}  // namespace b6409
