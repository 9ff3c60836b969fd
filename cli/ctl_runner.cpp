#include "cli/ctl_runner.h"

#include <cstdio>

#include "protocol/exchange.h"

namespace b6409 {

void StreamMessageSink::Show(const std::string& text, MessageIcon /*icon*/) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

int RunCtl(const CtlInvocation& run, LinkFactory& links, MessageSink& sink, Clock& clock) {
    ExchangeInputs inputs;
    inputs.settings = run.settings;
    inputs.optionValueText = run.valueText;
    const CommandResult result =
        ExchangeCommand(run.settings.deviceKind, run.commandKind, inputs, {links, sink, clock});
    return static_cast<int>(result);
}

}  // namespace b6409
