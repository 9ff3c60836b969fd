#include "app/main_window_state.h"

namespace b6409 {

// The editor names its width radios and edits by the window's control ids.
static_assert(int(WidthRadio::Single11) == control::SingleWidth11Radio &&
              int(WidthRadio::Single29) == control::SingleWidth29Radio &&
              int(WidthRadio::Group11) == control::GroupWidth11Radio &&
              int(WidthRadio::Group29) == control::GroupWidth29Radio &&
              int(WidthRadio::Target11) == control::TargetWidth11Radio &&
              int(WidthRadio::Target29) == control::TargetWidth29Radio);
static_assert(int(EditId::Single) == control::SingleEdit &&
              int(EditId::From) == control::FromEdit && int(EditId::To) == control::ToEdit &&
              int(EditId::OptionValue) == control::OptionValueEdit);

MainWindowState::MainWindowState(MessageSink& messages) : editor_(table_, messages) {
    ChooseDeviceKind(DeviceKind::Scv1);
    settings_.modulePortIndex = 0;
    // The editor starts with every width 11-bit and the start texts; the window starts in
    // Filter mode with "Get ModInfo" and the selector on its first entry.
    ClickListMode(IdListMode::Filter);
    ClickOption(OptionRadio::GetModInfo);
    ChooseOptionEntry(OptionEntry::UserBaud);
}

void MainWindowState::ChooseDeviceKind(DeviceKind kind) {
    settings_.ChooseDeviceKind(kind);
    devPortEntries_ = b6409::DevPortEntries(kind);
    canPortEntries_ = b6409::CanPortEntries(kind);
}

void MainWindowState::ChooseDevicePort(int index) {
    if (index >= 0 && size_t(index) < devPortEntries_.size())
        settings_.devicePortIndex = static_cast<uint8_t>(index);
}

void MainWindowState::ChooseCanPort(int index) {
    if (index >= 0 && size_t(index) < canPortEntries_.size())
        settings_.canPortIndex = static_cast<uint8_t>(index);
}

void MainWindowState::ChooseModulePort(int index) {
    if (index < 0 || index > 1) return;
    settings_.modulePortIndex = static_cast<uint8_t>(index);
    RecomputePendingCommand();
}

std::string MainWindowState::DevPortLabel() const {
    return InfoOf(settings_.deviceKind).devPortLabel;
}

void MainWindowState::ClickListMode(IdListMode mode) {
    editor_.SetMode(mode);
    table_.Clear();
    // The to edit shows the widest value of the width that now rules it; its limit stays.
    const IdWidth width = editor_.ToWidth();
    editor_.Edit(EditId::To).SetText(width == IdWidth::Bits11 ? "7FF" : "1FFFFFFF");
}

const char* MainWindowState::GroupBoxCaption() const {
    return Mode() == IdListMode::Filter ? "Group ID (HEX)" : "Mapping ID (HEX)";
}

const char* MainWindowState::GetButtonCaption() const {
    return Mode() == IdListMode::Filter ? "Get CAN Accepted IDs" : "Get CAN Mapping IDs";
}

const char* MainWindowState::SetButtonCaption() const {
    return Mode() == IdListMode::Filter ? "Set CAN Accepted IDs" : "Set CAN Mapping IDs";
}

const char* MainWindowState::IdColumnHeader() const {
    return Mode() == IdListMode::Filter ? "Accepted IDs" : "Mapping IDs";
}

bool MainWindowState::ClickOption(OptionRadio option) {
    option_ = option;
    switch (option) {
        case OptionRadio::GetModInfo:
            pending_ = CommandKind::GetModuleInfo;
            break;
        case OptionRadio::ResetModule:
            pending_ = CommandKind::ResetModule;
            break;
        case OptionRadio::SetModuleData:
        case OptionRadio::GetModuleData:
            RecomputePendingCommand();
            break;
    }
    return option == OptionRadio::SetModuleData;
}

void MainWindowState::ChooseOptionEntry(OptionEntry entry) {
    optionEntry_ = entry;
    // The option value is filtered as a bit rate only while the selector shows the bit rate.
    editor_.SetOptionSelectorFirstEntry(entry == OptionEntry::UserBaud);
    RecomputePendingCommand();
}

void MainWindowState::OptionValueFocused() {
    ClickOption(OptionRadio::SetModuleData);
}

std::vector<std::string> MainWindowState::OptionEntries() {
    return {"User-Defined CANBaud (Kbps)", "CAN Bus-Off Auto-Reset (Sec)", "CAN Listen-Only Mode"};
}

void MainWindowState::RecomputePendingCommand() {
    const bool set = option_ == OptionRadio::SetModuleData;
    if (!set && option_ != OptionRadio::GetModuleData) return;
    const bool port2 = settings_.modulePortIndex == 1;
    switch (optionEntry_) {
        case OptionEntry::UserBaud:
            pending_ = set ? CommandKind::SetUserBaud : CommandKind::GetUserBaud;
            break;
        case OptionEntry::BusOffTime:
            pending_ = set ? CommandKind::SetBusOffResetTime : CommandKind::GetBusOffResetTime;
            break;
        case OptionEntry::ListenOnly:
            if (set)
                pending_ = port2 ? CommandKind::SetListenOnlyCan2 : CommandKind::SetListenOnlyCan1;
            else
                pending_ = port2 ? CommandKind::GetListenOnlyCan2 : CommandKind::GetListenOnlyCan1;
            break;
    }
}

bool MainWindowState::IsCheckedRadio(int controlId) const {
    switch (controlId) {
        case control::Scv1Radio:
        case control::Ecv1dRadio:
        case control::Ucv1Radio:
        case control::Uhv1Radio:
        case control::Uhv2Radio:
        case control::Pcm1Radio:
        case control::Pcc2Radio:
        case control::Pcc4Radio:
            return InfoOf(settings_.deviceKind).radioControlId == controlId;
        case control::FilterModeRadio:
            return Mode() == IdListMode::Filter;
        case control::MappingModeRadio:
            return Mode() == IdListMode::Mapping;
        case control::GetModInfoRadio:
        case control::ResetModuleRadio:
        case control::SetModuleDataRadio:
        case control::GetModuleDataRadio:
            return static_cast<int>(option_) == controlId;
        case control::SingleWidth11Radio:
        case control::SingleWidth29Radio:
        case control::GroupWidth11Radio:
        case control::GroupWidth29Radio:
        case control::TargetWidth11Radio:
        case control::TargetWidth29Radio:
            return editor_.Checked(static_cast<WidthRadio>(controlId));
        default:
            return false;
    }
}

}  // namespace b6409
