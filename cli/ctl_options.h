#pragma once

#include <optional>
#include <string>
#include <vector>

#include "idtable/id_entry.h"
#include "link/link_settings.h"
#include "protocol/command_kind.h"
#include "protocol/exchange_pacing.h"

namespace b6409 {

// One run of b6409ctl, as read from its arguments.
struct CtlInvocation {
    LinkSettings settings;                // the dialog's start state unless options say otherwise
    std::optional<std::string> portPath;  // --port PATH: the device path (or tcp://) behind COM1
    std::optional<std::string> canInterface;  // --can-if NAME: the SocketCAN interface to use
    std::string command;                      // "info", "set-baud", ...
    std::vector<std::string> arguments;       // the command's own arguments
    CommandKind commandKind = CommandKind::GetModuleInfo;
    std::string valueText;                // the option value, as typed in the dialog
    std::optional<IdListMode> listMode;   // read: filter or mapping
    std::optional<std::string> savePath;  // read --save FILE.dat
    bool resetAfter = false;              // profile apply --reset
    bool json = false;                    // --json: the result as one JSON object
    Pacing pacing = Pacing::Fixed;        // --pacing fixed|reply
    bool help = false;
    bool version = false;
};

struct CtlParseResult {
    std::optional<CtlInvocation> invocation;
    std::string error;  // set when invocation is empty
};

// Reads the arguments (without the program name). Values the dialog's input rules would refuse
// are refused here, so nothing is sent for them.
CtlParseResult ParseCtlArguments(const std::vector<std::string>& arguments);

std::string CtlUsage();

// Exit status for bad usage; the others are the exchange's result.
inline constexpr int kExitBadUsage = 2;

}  // namespace b6409
