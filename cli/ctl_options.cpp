#include "cli/ctl_options.h"

#include <charconv>
#include <string_view>

#include "cli/ctl_json.h"
#include "idtable/input_filters.h"
#include "link/device_kind.h"
#include "link/serial/tcp_address.h"

namespace b6409 {

namespace {

bool ParseNumber(std::string_view text, int low, int high, int* value) {
    if (text.empty()) return false;
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high)
        return false;
    *value = parsed;
    return true;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

struct CommandEntry {
    const char* name;
    int argumentCount;
};

const CommandEntry kCommands[] = {
    {"info", 0},       {"reset", 0},      {"set-baud", 1},        {"get-baud", 0},
    {"set-busoff", 1}, {"get-busoff", 0}, {"set-listen-only", 1}, {"get-listen-only", 0},
    {"download", 1},   {"read", 1},       {"export", 2},          {"profile", 2},
};

// Checks the command's value and picks the exchange it stands for.
std::string ResolveCommand(CtlInvocation& run) {
    const std::string& name = run.command;
    const bool port2 = run.settings.modulePortIndex == 1;
    const std::string value = run.arguments.empty() ? std::string() : run.arguments[0];
    if (name == "info") {
        run.commandKind = CommandKind::GetModuleInfo;
    } else if (name == "reset") {
        run.commandKind = CommandKind::ResetModule;
    } else if (name == "set-baud") {
        if (value.empty() || value.size() > kOptionValueLimit || !OptionValueFilterAccepts(value))
            return "set-baud: '" + value +
                   "' is not a bit rate in kbit/s (digits with at most one '.', no leading 0, "
                   "at most 8 characters, e.g. 83.333 or 125)";
        run.commandKind = CommandKind::SetUserBaud;
    } else if (name == "get-baud") {
        run.commandKind = CommandKind::GetUserBaud;
    } else if (name == "set-busoff") {
        if (!AllDigits(value) || value.size() > kOptionValueLimit)
            return "set-busoff: '" + value +
                   "' is not a number of seconds (decimal digits, at most 8; 0 disables)";
        run.commandKind = CommandKind::SetBusOffResetTime;
    } else if (name == "get-busoff") {
        run.commandKind = CommandKind::GetBusOffResetTime;
    } else if (name == "set-listen-only") {
        if (value != "0" && value != "1") return "set-listen-only: the value is 0 (off) or 1 (on)";
        run.commandKind = port2 ? CommandKind::SetListenOnlyCan2 : CommandKind::SetListenOnlyCan1;
    } else if (name == "get-listen-only") {
        run.commandKind = port2 ? CommandKind::GetListenOnlyCan2 : CommandKind::GetListenOnlyCan1;
    } else if (name == "read") {
        if (value != "filter" && value != "mapping") return "read: say filter or mapping";
        run.listMode = value == "filter" ? IdListMode::Filter : IdListMode::Mapping;
        run.commandKind =
            value == "filter" ? CommandKind::GetFilterList : CommandKind::GetMappingList;
    } else if (name == "profile") {
        if (value != "save" && value != "apply" && value != "diff")
            return "profile: say save, apply or diff, then the .json file";
        if (run.resetAfter && value != "apply") return "--reset goes with profile apply";
    } else if (name == "download" || name == "export") {
        if (value.empty()) return name + ": name the .dat file";
    }
    if (run.savePath && name != "read") return "--save goes with read";
    if (run.resetAfter && name != "profile") return "--reset goes with profile apply";
    if (run.json && !TakesJson(name))
        return "--json goes with info, get-baud, get-busoff, get-listen-only and read";
    if (run.json && run.savePath) return "--json does not go with --save";
    run.valueText = value;
    return {};
}

}  // namespace

CtlParseResult ParseCtlArguments(const std::vector<std::string>& arguments) {
    CtlInvocation run;
    auto fail = [](std::string message) {
        return CtlParseResult{std::nullopt, std::move(message)};
    };

    std::optional<std::string> port, board, canPort, modulePort, device;
    std::vector<std::string> positional;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            run.help = true;
            continue;
        }
        if (argument == "--version") {
            run.version = true;
            continue;
        }
        if (argument == "--json") {
            run.json = true;
            continue;
        }
        if (argument == "--reset") {
            run.resetAfter = true;
            continue;
        }
        if (argument.rfind("--", 0) != 0 || argument == "--") {
            positional.push_back(argument);
            continue;
        }
        std::string value;
        if (const auto eq = argument.find('='); eq != std::string::npos) {
            value = argument.substr(eq + 1);
            argument.resize(eq);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return fail(argument + " needs a value");
        }
        if (argument == "--device")
            device = value;
        else if (argument == "--port")
            port = value;
        else if (argument == "--board")
            board = value;
        else if (argument == "--can-port")
            canPort = value;
        else if (argument == "--module-port")
            modulePort = value;
        else if (argument == "--can-if")
            run.canInterface = value;
        else if (argument == "--save")
            run.savePath = value;
        else if (argument == "--pacing" && (value == "fixed" || value == "reply"))
            run.pacing = value == "fixed" ? Pacing::Fixed : Pacing::Reply;
        else if (argument == "--pacing")
            return fail("--pacing: fixed or reply, not '" + value + "'");
        else
            return fail("unknown option " + argument);
    }
    if (run.help || run.version) return {run, {}};

    if (device) {
        const auto kind = DeviceKindFromCliName(*device);
        if (!kind)
            return fail("--device: unknown interface '" + *device +
                        "' (scv1, ucv1, ecv1d, uhv1, uhv2, pcm1, pcc2 or pcc4)");
        run.settings.ChooseDeviceKind(*kind);
    }
    const DeviceKindInfo& info = InfoOf(run.settings.deviceKind);
    if (port) {
        if (info.usesBoardNumbers)
            return fail("--port: " + std::string(info.cliName) + " is a card; use --board");
        int com = 0;
        const bool isCom = port->size() > 3 &&
                           (port->compare(0, 3, "COM") == 0 || port->compare(0, 3, "com") == 0);
        if (isCom && ParseNumber(std::string_view(*port).substr(3), 1, 256, &com)) {
            run.settings.devicePortIndex = static_cast<uint8_t>(com - 1);
        } else if (IsTcpAddress(*port) && IsSerialKind(run.settings.deviceKind)) {
            std::string error;
            if (!ParseTcpAddress(*port, &error)) return fail("--port: " + error);
            run.portPath = *port;
        } else if (port->find('/') != std::string::npos && IsSerialKind(run.settings.deviceKind)) {
            run.portPath = *port;
        } else {
            return fail("--port: '" + *port + "' is neither COM1..COM256" +
                        (IsSerialKind(run.settings.deviceKind)
                             ? " nor a device path nor tcp://HOST:PORT"
                             : ""));
        }
    }
    if (board) {
        int number = 0;
        if (!info.usesBoardNumbers) return fail("--board applies to the cards pcm1, pcc2 and pcc4");
        if (!ParseNumber(*board, 0, 15, &number))
            return fail("--board: a card number from 0 to 15");
        run.settings.devicePortIndex = static_cast<uint8_t>(number);
    }
    if (canPort) {
        int number = 0;
        if (!ParseNumber(*canPort, 1, info.canPortCount, &number))
            return fail("--can-port: " + std::string(info.caption) + " has CAN port" +
                        (info.canPortCount == 1 ? " 1 only"
                                                : "s 1 to " + std::to_string(info.canPortCount)));
        run.settings.canPortIndex = static_cast<uint8_t>(number - 1);
    }
    if (modulePort) {
        int number = 0;
        if (!ParseNumber(*modulePort, 1, 2, &number)) return fail("--module-port: 1 or 2");
        run.settings.modulePortIndex = static_cast<uint8_t>(number - 1);
    }

    if (positional.empty()) return fail("no command given (try --help)");
    run.command = positional[0];
    run.arguments.assign(positional.begin() + 1, positional.end());
    const CommandEntry* entry = nullptr;
    for (const auto& candidate : kCommands)
        if (run.command == candidate.name) entry = &candidate;
    if (!entry) return fail("unknown command '" + run.command + "' (try --help)");
    if (static_cast<int>(run.arguments.size()) != entry->argumentCount)
        return fail(run.command + (entry->argumentCount == 0   ? " takes no argument"
                                   : entry->argumentCount == 1 ? " takes one argument"
                                                               : " takes two arguments"));
    if (std::string error = ResolveCommand(run); !error.empty()) return fail(error);
    return {run, {}};
}

std::string CtlUsage() {
    return R"(Usage: b6409ctl [OPTIONS] COMMAND [ARGS]

Configures a B-6409 CAN bridge module through a PC-side CAN interface. Each run opens
the interface, exchanges one command with the module, closes the interface and prints
the outcome exactly as the utility's dialog shows it.

Options (defaults are the dialog's start state: scv1, COM1, CAN port 1, module port 1):
  --device KIND       scv1 (RS232, baud rate searched), ucv1 (USB, 921600 baud),
                      ecv1d (Ethernet, 115200 baud), uhv1, uhv2 (USB adapters),
                      pcm1, pcc2, pcc4 (PCI cards)
  --port COMn|PATH|tcp://HOST:PORT
                      COM port of a converter or USB adapter (COM1..COM256); COMn is
                      the device in $B6409_COM<n>, else /dev/ttyS<n-1>. A converter also
                      takes a device path directly, e.g. /dev/ttyUSB0, or the TCP address
                      of its serial stream, e.g. tcp://192.168.1.20:4001 or tcp://[::1]:4001
  --board N           card number 0..15 (pcm1, pcc2, pcc4)
  --can-port N        CAN port of the PC-side interface (uhv2, pcc2: 1-2; pcc4: 1-4)
  --can-if NAME       SocketCAN interface to use instead of the default mapping
  --module-port 1|2   the module's port to configure (CAN1 or CAN2)
  --json              info, get-* and read: print the outcome as one JSON object
                      (command, modulePort, status, messages, and the value read)
  --pacing fixed|reply
                      fixed (the default): wait 100 ms after each request, then poll
                      every 100 ms; reply: take each reply as soon as it arrives. Both
                      give up after 1.3 s without an answer
  --help, --version

Commands:
  info                      read the module's firmware version
  reset                     reset the module
  set-baud TEXT             set the module port's user-defined bit rate in kbit/s,
                            as typed in the dialog (e.g. 83.333 or 125)
  get-baud                  read the module port's user-defined bit rate
  set-busoff SECONDS        set the bus-off auto-reset time (0 disables it)
  get-busoff                read the bus-off auto-reset time
  set-listen-only 0|1       switch the module port's listen-only mode off or on
  get-listen-only           read the module port's listen-only mode
  download FILE.dat         download a filter or mapping list file (the file's title
                            tells which) to the module port, row by row
  read filter|mapping [--save FILE.dat]
                            read the module port's list; prints "No<TAB>type<TAB>ID"
                            lines, then the outcome; --save writes them as a list file
  export FILE.dat OUT.xls   write a list file's download frames for the module port
                            as a workbook sheet (CANFID or CANMID)
  profile save FILE.json    read every setting and both lists of both module ports
                            and write them as a profile (--module-port is not used)
  profile apply FILE.json [--reset]
                            set the module to the profile (lists first, then the bit
                            rates, listen-only modes and bus-off time; --reset resets
                            the module last), read everything back and print one line
                            per setting: "ok" or "differs: module has ..."
  profile diff FILE.json    read the module, change nothing, print what differs

Exit status: 0 the module accepted the command (or the file was written), 1 the
interface failed or no reply came, 8 the module answered with an error, 2 bad usage,
a value or list row the module cannot take as it stands, or a list file or profile
that cannot be read or written (nothing was sent), 3 the module does not hold the
profile (profile diff, or profile apply after its read-back), 130 a download or
profile run stopped by Ctrl+C after the row or step in flight.
)";
}

}  // namespace b6409
