#include "cli/ctl_runner.h"

#include <cstdio>
#include <iterator>
#include <vector>

#include "cli/ctl_json.h"
#include "cli/ctl_profile.h"
#include "cli/interrupt_pump.h"
#include "files/data_file.h"
#include "files/workbook_export.h"
#include "idtable/list_transfer.h"
#include "protocol/exchange.h"

namespace b6409 {

namespace {

// Holds messages back until the rows they sum up are printed.
class HeldMessages final : public MessageSink {
  public:
    void Show(const std::string& text, MessageIcon icon) override { held_.push_back({text, icon}); }
    void ShowWithDetail(const std::string& text, MessageIcon icon,
                        const std::string& detail) override {
        held_.push_back({text, icon, detail});
    }
    void ReleaseTo(MessageSink& sink) {
        for (const Held& message : held_) {
            if (message.detail.empty())
                sink.Show(message.text, message.icon);
            else
                sink.ShowWithDetail(message.text, message.icon, message.detail);
        }
        held_.clear();
    }

  private:
    struct Held {
        std::string text;
        MessageIcon icon;
        std::string detail = {};
    };
    std::vector<Held> held_;
};

int Download(const CtlInvocation& run, LinkFactory& links, Clock& clock, const CtlOutput& output) {
    IdTable table;
    const auto mode = LoadDataFileOfEitherKind(run.arguments[0], table, output.sink);
    if (!mode) return kExitBadUsage;
    NullProgress noProgress;
    InterruptPump pump;
    ProgressSink& progress = output.progress ? *output.progress : noProgress;
    const CommandResult result = DownloadList(
        *mode, table, run.settings, {{links, output.sink, clock, run.pacing}, progress, pump, {}});
    if (result == CommandResult::Stopped) {
        // The bar, when there is one, stands on stderr's last line.
        std::fprintf(stderr,
                     "%sb6409ctl: the download to CAN%d was stopped before its end step; the "
                     "module's list is incomplete until a list is downloaded again.\n",
                     output.progress ? "\n" : "", run.settings.modulePortIndex + 1);
        std::fflush(stderr);
    }
    return static_cast<int>(result);
}

int Read(const CtlInvocation& run, LinkFactory& links, Clock& clock, const CtlOutput& output) {
    IdTable table;
    HeldMessages held;
    const CommandResult result =
        ReadList(*run.listMode, table, run.settings, {links, held, clock, run.pacing});
    for (const IdRow& row : table.Rows())
        std::fprintf(output.rows, "%s\t%s\t%s\n", row.number.c_str(), row.type.c_str(),
                     row.id.c_str());
    std::fflush(output.rows);
    held.ReleaseTo(output.sink);
    // A list that did not come whole is not saved as if it had.
    if (run.savePath && result == CommandResult::Ok &&
        !SaveDataFile(*run.savePath, *run.listMode, table, output.sink))
        return kExitBadUsage;
    return static_cast<int>(result);
}

int Export(const CtlInvocation& run, const CtlOutput& output) {
    IdTable table;
    const auto mode = LoadDataFileOfEitherKind(run.arguments[0], table, output.sink);
    if (!mode) return kExitBadUsage;
    const int modulePort = run.settings.modulePortIndex + 1;
    return ExportWorkbook(run.arguments[1], *mode, table, modulePort, output.sink) ? 0
                                                                                   : kExitBadUsage;
}

}  // namespace

void StreamMessageSink::Show(const std::string& text, MessageIcon /*icon*/) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void StreamMessageSink::ShowWithDetail(const std::string& text, MessageIcon icon,
                                       const std::string& detail) {
    Show(text, icon);
    if (detail.empty()) return;
    std::fprintf(details_, "b6409ctl: %s\n", detail.c_str());
    std::fflush(details_);
}

int RunCtl(const CtlInvocation& run, LinkFactory& links, Clock& clock, const CtlOutput& output) {
    if (run.json) return RunCtlJson(run, links, clock, output.rows);
    if (run.command == "download") return Download(run, links, clock, output);
    if (run.command == "read") return Read(run, links, clock, output);
    if (run.command == "export") return Export(run, output);
    if (run.command == "profile") return RunProfileCommand(run, links, clock, output);
    ExchangeInputs inputs;
    inputs.settings = run.settings;
    inputs.optionValueText = run.valueText;
    const CommandResult result = ExchangeCommand(run.settings.deviceKind, run.commandKind, inputs,
                                                 {links, output.sink, clock, run.pacing});
    return static_cast<int>(result);
}

}  // namespace b6409
