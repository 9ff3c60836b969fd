#pragma once

#include <string>

#include "app/main_window_state.h"
#include "common/clock.h"
#include "common/message_sink.h"
#include "common/progress.h"
#include "link/device_link.h"
#include "profile/profile_commands.h"
#include "protocol/command_kind.h"
#include "protocol/exchange_pacing.h"

namespace b6409 {

// What the dialog's buttons need from outside the window state.
struct DialogServices {
    LinkFactory& links;
    MessageSink& sink;
    Clock& clock;
    ProgressSink& progress;
    EventPump& pump;
    Pacing pacing = Pacing::Fixed;
};

// The dialog's command handlers without the window: each runs one user action on the state and
// shows its outcome through the sink. Disabling the button that started an action is the
// window's part.

// "Send": the pending option command with the option value as it stands now.
CommandResult SendOption(MainWindowState& state, const DialogServices& services);

// "Get CAN Accepted IDs" / "Get CAN Mapping IDs": reads the module port's list into the table.
CommandResult GetIds(MainWindowState& state, const DialogServices& services);

// "Set CAN Accepted IDs" / "Set CAN Mapping IDs": downloads the table to the module port.
CommandResult SetIds(MainWindowState& state, const DialogServices& services);

// The two file types of "Save File".
enum class SaveFileType { DataFile, Workbook };

// "Save File" once the dialog has a path: a .dat list file or the workbook of download frames.
bool SaveFile(MainWindowState& state, const std::string& path, SaveFileType type,
              MessageSink& sink);

// "Load File" once the dialog has a path.
bool LoadFile(MainWindowState& state, const std::string& path, MessageSink& sink);

// The context menu's profile entries once the dialog has a path (and, for an apply, the user's
// answer on the reset). They run through the chosen interface, both module ports whatever the
// module port list shows, move the bar one position per step and show the report lines in one
// box; the table and the options are not touched. A run the user stopped shows no box: the user
// is leaving.
ProfileOutcome SaveModuleProfile(const MainWindowState& state, const std::string& path,
                                 const DialogServices& services);
ProfileOutcome ApplyModuleProfile(const MainWindowState& state, const ModuleProfile& profile,
                                  bool resetAfter, const DialogServices& services);
ProfileOutcome CompareModuleWithProfile(const MainWindowState& state, const ModuleProfile& profile,
                                        const DialogServices& services);

// The box text of a profile outcome: its lines, the first `kProfileBoxLines` of them when a
// long comparison would make the box taller than a screen.
inline constexpr size_t kProfileBoxLines = 30;
std::string ProfileBoxText(const ProfileOutcome& outcome);

}  // namespace b6409
