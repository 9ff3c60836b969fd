#include "app/information_options.h"

#include <string_view>

#include "common/version.h"

namespace b6409 {

namespace {

constexpr std::string_view kUsage =
    "Usage: B6409_Utility [--help | --version]\n"
    "Configures a B-6409 CAN bridge module in a window: the PC-side interface, the firmware\n"
    "version, bit rates, bus-off time, listen-only modes and the filter and mapping lists.\n"
    "Qt's own options (-platform, -style, ...) are taken as well.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

}  // namespace

std::optional<int> AnswerInformationOptions(int argc, const char* const* argv, std::ostream& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") {
            out << kUsage;
            return 0;
        }
        if (argument == "--version") {
            out << "B6409_Utility " B6409_VERSION "\n";
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace b6409
