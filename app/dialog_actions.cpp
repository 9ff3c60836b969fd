#include "app/dialog_actions.h"

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

}  // namespace b6409
