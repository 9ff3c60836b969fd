// b6409ctl: configures a B-6409 module from the command line, one command per run.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/ctl_options.h"
#include "cli/ctl_runner.h"
#include "cli/terminal_progress.h"
#include "common/version.h"
#include "link/socketcan/can_interface_names.h"
#include "link/system_link_factory.h"

int main(int argc, char** argv) {
    using namespace b6409;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CtlParseResult parsed = ParseCtlArguments(arguments);
    if (!parsed.invocation) {
        std::fprintf(stderr, "b6409ctl: %s\n", parsed.error.c_str());
        return kExitBadUsage;
    }
    const CtlInvocation& run = *parsed.invocation;
    if (run.help) {
        std::fputs(CtlUsage().c_str(), stdout);
        return 0;
    }
    if (run.version) {
        std::puts("b6409ctl " B6409_VERSION);
        return 0;
    }

    SystemClock clock;
    TermiosSerPort::PathResolver serialPaths = DefaultComPortPath;
    if (run.portPath) {
        const std::string path = *run.portPath;
        serialPaths = [path](uint16_t) { return path; };
    }
    const CanInterfaceNamer canNames = CanInterfaceOverride(run.canInterface.value_or(""));
    SystemLinkFactory links(clock, serialPaths, canNames);
    StreamMessageSink lines(stdout);
    TerminalProgress progress(stderr);
    AfterProgressSink sink(lines, progress);
    const CtlOutput output{sink, stdout, isatty(STDERR_FILENO) ? &progress : nullptr};
    return RunCtl(run, links, clock, output);
}
