#include "idtable/list_transfer.h"

namespace b6409 {

namespace {

CommandKind SetCommand(IdListMode mode) {
    return mode == IdListMode::Filter ? CommandKind::SetFilterList : CommandKind::SetMappingList;
}

CommandResult RunStep(IdListMode mode, const ListStep& step, const LinkSettings& settings,
                      const ExchangeServices& services) {
    ExchangeInputs inputs;
    inputs.settings = settings;
    inputs.listStep = step;
    return ExchangeCommand(settings.deviceKind, SetCommand(mode), inputs, services);
}

}  // namespace

std::optional<ListStep> EncodeRow(IdListMode mode, const IdRow& row) {
    const auto entry = ReadRowEntry(mode, row.type, row.id).entry;
    if (!entry) return std::nullopt;
    const IdKindInfo& info = InfoOf(entry->kind);
    ListStep step;
    step.listCode = info.entryCode;
    step.listValueLow = entry->first;
    step.listValueHigh = info.twoValues ? entry->second : 0xFFFFFFFFu;
    if (info.targetFlag) step.listValueHigh |= kTargetFlag;
    return step;
}

int ProgressStepFor(size_t rowCount) {
    if (rowCount <= 10) return 200;
    if (rowCount <= 100) return 100;
    return 10;
}

CommandResult DownloadList(IdListMode mode, const IdTable& table, const LinkSettings& settings,
                           const ListTransferServices& services) {
    // Before anything is sent: the begin step alone already changes the module's list.
    if (const auto problem = FirstUnsendableRow(mode, table)) {
        services.exchange.sink.Show(*problem + " Nothing was sent.", MessageIcon::Stop);
        return CommandResult::Refused;
    }
    const bool filter = mode == IdListMode::Filter;
    // The count is taken once: the window stays live between rows.
    const size_t rowCount = table.RowCount();
    const int step = ProgressStepFor(rowCount);

    if (rowCount == 0) {
        const ListStep empty{filter ? code::kFilterAcceptAll : code::kMappingNone, 0, 0};
        return RunStep(mode, empty, settings, services.exchange);
    }

    services.progress.SetColors(services.colors);
    services.progress.SetShowText(true);
    services.progress.SetRange(0, step * static_cast<int32_t>(rowCount));

    const ListStep begin{filter ? code::kFilterBegin : code::kMappingBegin, 0, 0};
    if (CommandResult result = RunStep(mode, begin, settings, services.exchange);
        result != CommandResult::Ok)
        return result;

    for (size_t row = 0; row < rowCount; ++row) {
        // A row removed or changed meanwhile sends nothing.
        if (row >= table.RowCount()) break;
        const auto encoded = EncodeRow(mode, table.Row(row));
        if (!encoded) continue;
        if (CommandResult result = RunStep(mode, *encoded, settings, services.exchange);
            result != CommandResult::Ok)
            return result;
        const bool goOn = services.pump.PumpWaitingMessages() != 0;
        for (int k = 0; k < step; ++k)
            services.progress.SetPos(step * static_cast<int32_t>(row) + k);
        if (!goOn) return CommandResult::Stopped;
    }

    const ListStep end{filter ? code::kFilterEnd : code::kMappingEnd, 0, 0};
    return RunStep(mode, end, settings, services.exchange);
}

CommandResult ReadList(IdListMode mode, IdTable& table, const LinkSettings& settings,
                       const ExchangeServices& services) {
    table.Clear();
    TableListReader reader(table);
    ExchangeInputs inputs;
    inputs.settings = settings;
    inputs.listReader = &reader;
    const CommandKind command =
        mode == IdListMode::Filter ? CommandKind::GetFilterList : CommandKind::GetMappingList;
    return ExchangeCommand(settings.deviceKind, command, inputs, services);
}

}  // namespace b6409
