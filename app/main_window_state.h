#pragma once

#include <string>
#include <vector>

#include "app/control_ids.h"
#include "common/message_sink.h"
#include "common/progress.h"
#include "idtable/entry_editor.h"
#include "idtable/id_table.h"
#include "link/link_settings.h"
#include "protocol/command_kind.h"

namespace b6409 {

// The four option radios of "Config / Info Option", by control id.
enum class OptionRadio {
    GetModInfo = control::GetModInfoRadio,
    ResetModule = control::ResetModuleRadio,
    SetModuleData = control::SetModuleDataRadio,
    GetModuleData = control::GetModuleDataRadio
};

// The entries of the option selector, in order.
enum class OptionEntry { UserBaud = 0, BusOffTime = 1, ListenOnly = 2 };

// The main window's rules without a window: which controls are enabled, their captions, the
// checked member of each radio choice, the device lists, the pending option command, the list
// mode with its ID table and hand editor. The dialog forwards each event to one method here and
// then shows the state again; tests drive it directly.
class MainWindowState {
  public:
    // The window's state right after start: SCV-1 on COM1, CAN1, module port CAN1, Filter mode,
    // "Get ModInfo", every width 11-bit.
    explicit MainWindowState(MessageSink& messages);
    MainWindowState(const MainWindowState&) = delete;
    MainWindowState& operator=(const MainWindowState&) = delete;

    // --- device selection
    void ChooseDeviceKind(DeviceKind kind);
    void ChooseDevicePort(int index);
    void ChooseCanPort(int index);
    // The module port ("CAN Controller"); the pending option command follows it.
    void ChooseModulePort(int index);
    const LinkSettings& Settings() const { return settings_; }
    const std::vector<std::string>& DevPortEntries() const { return devPortEntries_; }
    const std::vector<std::string>& CanPortEntries() const { return canPortEntries_; }
    std::string DevPortLabel() const;
    static std::vector<std::string> ModulePortEntries() { return {"CAN1", "CAN2"}; }

    // --- list mode, table and editor
    // A click on a list-mode radio, also on the checked one: applies that mode and empties the
    // table.
    void ClickListMode(IdListMode mode);
    IdListMode Mode() const { return editor_.Mode(); }
    IdTable& Table() { return table_; }
    const IdTable& Table() const { return table_; }
    EntryEditor& Editor() { return editor_; }
    const EntryEditor& Editor() const { return editor_; }
    bool SingleBoxEnabled() const { return Mode() == IdListMode::Filter; }
    bool TargetRadiosEnabled() const { return Mode() == IdListMode::Mapping; }
    const char* GroupBoxCaption() const;
    const char* GetButtonCaption() const;
    const char* SetButtonCaption() const;
    const char* IdColumnHeader() const;

    // --- configuration options
    // A click on an option radio. Returns true when the option value edit is to take the
    // keyboard focus ("Set Module Data").
    bool ClickOption(OptionRadio option);
    void ChooseOptionEntry(OptionEntry entry);
    // The option value edit received the keyboard focus: "Set Module Data" becomes the option.
    void OptionValueFocused();
    OptionRadio CheckedOption() const { return option_; }
    OptionEntry SelectedOptionEntry() const { return optionEntry_; }
    CommandKind PendingCommand() const { return pending_; }
    bool OptionValueEnabled() const { return option_ == OptionRadio::SetModuleData; }
    bool OptionSelectorEnabled() const {
        return option_ == OptionRadio::SetModuleData || option_ == OptionRadio::GetModuleData;
    }
    static std::vector<std::string> OptionEntries();

    // --- the chosen-radio colour rule: the checked member of a choice is drawn blue
    bool IsCheckedRadio(int controlId) const;

    // --- the progress bar's colours as they stood after start, written back before downloads
    void RecordProgressColors(const ProgressColors& colors) { progressColors_ = colors; }
    const ProgressColors& RecordedProgressColors() const { return progressColors_; }

  private:
    void RecomputePendingCommand();

    LinkSettings settings_;
    std::vector<std::string> devPortEntries_;
    std::vector<std::string> canPortEntries_;
    IdTable table_;
    EntryEditor editor_;
    OptionRadio option_ = OptionRadio::GetModInfo;
    OptionEntry optionEntry_ = OptionEntry::UserBaud;
    CommandKind pending_ = CommandKind::GetModuleInfo;
    ProgressColors progressColors_;
};

}  // namespace b6409
