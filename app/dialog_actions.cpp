#include "app/dialog_actions.h"

#include <algorithm>
#include <functional>

#include "common/text_format.h"
#include "files/data_file.h"
#include "files/workbook_export.h"
#include "idtable/list_transfer.h"
#include "protocol/exchange.h"

namespace b6409 {

CommandResult SendOption(MainWindowState& state, const DialogServices& services) {
    ExchangeInputs inputs;
    inputs.settings = state.Settings();
    inputs.optionValueText = state.Editor().Edit(EditId::OptionValue).Text();
    return ExchangeCommand(inputs.settings.deviceKind, state.PendingCommand(), inputs,
                           {services.links, services.sink, services.clock, services.pacing});
}

CommandResult GetIds(MainWindowState& state, const DialogServices& services) {
    return ReadList(state.Mode(), state.Table(), state.Settings(),
                    {services.links, services.sink, services.clock, services.pacing});
}

CommandResult SetIds(MainWindowState& state, const DialogServices& services) {
    const ListTransferServices transfer{
        {services.links, services.sink, services.clock, services.pacing},
        services.progress,
        services.pump,
        state.RecordedProgressColors()};
    return DownloadList(state.Mode(), state.Table(), state.Settings(), transfer);
}

bool SaveFile(MainWindowState& state, const std::string& path, SaveFileType type,
              MessageSink& sink) {
    if (type == SaveFileType::DataFile)
        return SaveDataFile(path, state.Mode(), state.Table(), sink);
    return ExportWorkbook(path, state.Mode(), state.Table(), state.Settings().modulePortIndex + 1,
                          sink);
}

bool LoadFile(MainWindowState& state, const std::string& path, MessageSink& sink) {
    return LoadDataFile(path, state.Mode(), state.Table(), sink);
}

namespace {

ProfileOutcome RunProfile(
    const MainWindowState& state, const DialogServices& services,
    const std::function<ProfileOutcome(const LinkSettings&, const ProfileRunServices&)>& run) {
    // The bar looks as it does for a download, whatever a download last left in it.
    services.progress.SetColors(state.RecordedProgressColors());
    services.progress.SetShowText(true);
    ProfileOutcome outcome =
        run(state.Settings(),
            {services.links, services.clock, services.progress, services.pump, services.pacing});
    if (outcome.verdict != ProfileVerdict::Stopped)
        services.sink.Show(ProfileBoxText(outcome), outcome.icon);
    return outcome;
}

}  // namespace

ProfileOutcome SaveModuleProfile(const MainWindowState& state, const std::string& path,
                                 const DialogServices& services) {
    return RunProfile(state, services, [&](const LinkSettings& settings, const auto& run) {
        return RunProfileSave(path, settings, run);
    });
}

ProfileOutcome ApplyModuleProfile(const MainWindowState& state, const ModuleProfile& profile,
                                  bool resetAfter, const DialogServices& services) {
    return RunProfile(state, services, [&](const LinkSettings& settings, const auto& run) {
        return RunProfileApply(profile, settings, resetAfter, run);
    });
}

ProfileOutcome CompareModuleWithProfile(const MainWindowState& state, const ModuleProfile& profile,
                                        const DialogServices& services) {
    return RunProfile(state, services, [&](const LinkSettings& settings, const auto& run) {
        return RunProfileCompare(profile, settings, run);
    });
}

std::string ProfileBoxText(const ProfileOutcome& outcome) {
    std::string text;
    const size_t shown = std::min(outcome.lines.size(), kProfileBoxLines);
    for (size_t i = 0; i < shown; ++i) text += (i ? "\n" : "") + outcome.lines[i];
    if (outcome.lines.size() > shown)
        text += FormatText("\n... and %zu more (b6409ctl profile diff lists them all)",
                           outcome.lines.size() - shown);
    return text;
}

}  // namespace b6409
