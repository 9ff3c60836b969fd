#include "profile/profile_session.h"

#include <functional>
#include <utility>

#include "common/text_format.h"
#include "idtable/id_table.h"
#include "idtable/list_transfer.h"
#include "protocol/exchange.h"
#include "protocol/reply_values.h"

namespace b6409 {

namespace {

// Keeps the last message of a step, with its detail, for the run's report.
class LastMessageSink final : public MessageSink {
  public:
    void Show(const std::string& text, MessageIcon) override { last_ = text; }
    void ShowWithDetail(const std::string& text, MessageIcon, const std::string& detail) override {
        last_ = detail.empty() ? text : text + " (" + detail + ")";
    }
    const std::string& last() const { return last_; }

  private:
    std::string last_;
};

struct Step {
    std::string name;
    // Runs the exchanges of the step with the sink given; returns their result.
    std::function<CommandResult(const ExchangeServices&)> run;
};

LinkSettings ForPort(LinkSettings settings, size_t portIndex) {
    settings.modulePortIndex = static_cast<uint8_t>(portIndex);
    return settings;
}

std::string PortName(size_t portIndex) {
    return FormatText("port %zu", portIndex + 1);
}

IdListMode ModeOf(bool mapping) {
    return mapping ? IdListMode::Mapping : IdListMode::Filter;
}

CommandResult RunOption(DeviceKind kind, CommandKind command, const LinkSettings& settings,
                        std::string value, CanFrame* reply, const ExchangeServices& exchange) {
    ExchangeInputs inputs;
    inputs.settings = settings;
    inputs.optionValueText = std::move(value);
    inputs.acceptedReply = reply;
    return ExchangeCommand(kind, command, inputs, exchange);
}

// Runs the steps in order until one fails or the pump says stop; returns how many were done.
size_t RunSteps(const std::vector<Step>& steps, const ProfileRunServices& services, int& position,
                std::optional<StepFailure>* failure) {
    for (size_t i = 0; i < steps.size(); ++i) {
        if (services.pump.PumpWaitingMessages() == 0) {
            *failure = StepFailure{steps[i].name, CommandResult::Stopped, "stopped"};
            return i;
        }
        LastMessageSink sink;
        const ExchangeServices exchange{services.links, sink, services.clock, services.pacing};
        const CommandResult result = steps[i].run(exchange);
        services.progress.SetPos(++position);
        if (result != CommandResult::Ok) {
            // A download the pump stopped shows nothing: it is the user who is leaving.
            const bool silent = result == CommandResult::Stopped && sink.last().empty();
            *failure = StepFailure{steps[i].name, result, silent ? "stopped" : sink.last()};
            return i;
        }
    }
    return steps.size();
}

std::vector<Step> ReadSteps(const LinkSettings& settings, ModuleProfile* out) {
    const DeviceKind kind = settings.deviceKind;
    std::vector<Step> steps;
    steps.push_back({"firmware version", [=](const ExchangeServices& exchange) {
                         CanFrame reply;
                         const CommandResult result = RunOption(kind, CommandKind::GetModuleInfo,
                                                                settings, "", &reply, exchange);
                         out->firmware = FirmwareVersionText(reply);
                         return result;
                     }});
    steps.push_back({"bus-off time", [=](const ExchangeServices& exchange) {
                         CanFrame reply;
                         const CommandResult result = RunOption(
                             kind, CommandKind::GetBusOffResetTime, settings, "", &reply, exchange);
                         out->busOffSeconds = reply.Word(0);
                         return result;
                     }});
    for (size_t p = 0; p < out->ports.size(); ++p) {
        PortProfile* port = &out->ports[p];
        const LinkSettings portSettings = ForPort(settings, p);
        for (const bool mapping : {false, true}) {
            steps.push_back({PortName(p) + (mapping ? " mapping list" : " filter list"),
                             [=](const ExchangeServices& exchange) {
                                 IdTable table;
                                 const CommandResult result =
                                     ReadList(ModeOf(mapping), table, portSettings, exchange);
                                 auto& rows = mapping ? port->mapping : port->filter;
                                 rows.clear();
                                 for (const IdRow& row : table.Rows())
                                     rows.push_back({row.type, row.id});
                                 return result;
                             }});
        }
        steps.push_back({PortName(p) + " bit rate", [=](const ExchangeServices& exchange) {
                             CanFrame reply;
                             const CommandResult result =
                                 RunOption(kind, CommandKind::GetUserBaud, portSettings, "", &reply,
                                           exchange);
                             port->userBaud = UserBaudText(reply);
                             return result;
                         }});
        const CommandKind listenOnly =
            p == 0 ? CommandKind::GetListenOnlyCan1 : CommandKind::GetListenOnlyCan2;
        steps.push_back({PortName(p) + " listen-only", [=](const ExchangeServices& exchange) {
                             CanFrame reply;
                             const CommandResult result =
                                 RunOption(kind, listenOnly, settings, "", &reply, exchange);
                             port->listenOnly = reply.Word(0) != 0;
                             return result;
                         }});
    }
    return steps;
}

std::vector<Step> SetSteps(const ModuleProfile& profile, const LinkSettings& settings,
                           bool resetAfter, const ProfileRunServices& services,
                           std::vector<std::string>* leftAlone) {
    const DeviceKind kind = settings.deviceKind;
    std::vector<Step> steps;
    for (size_t p = 0; p < profile.ports.size(); ++p) {
        const LinkSettings portSettings = ForPort(settings, p);
        for (const bool mapping : {false, true}) {
            const auto& rows = mapping ? profile.ports[p].mapping : profile.ports[p].filter;
            steps.push_back(
                {PortName(p) + (mapping ? " mapping list" : " filter list"),
                 [=, &rows, &services](const ExchangeServices& exchange) {
                     IdTable table;
                     for (size_t i = 0; i < rows.size(); ++i)
                         table.AppendRow(RowNumberText(i + 1), rows[i].type, rows[i].id);
                     // The run's bar counts steps; the download's own bar is not
                     // shown.
                     NullProgress quiet;
                     const ListTransferServices transfer{exchange, quiet, services.pump,
                                                         ProgressColors{}};
                     return DownloadList(ModeOf(mapping), table, portSettings, transfer);
                 }});
        }
    }
    for (size_t p = 0; p < profile.ports.size(); ++p) {
        const auto& baud = profile.ports[p].userBaud;
        if (!baud) {
            leftAlone->push_back(PortName(p) +
                                 " bit rate: the profile holds no record, and the module keeps "
                                 "the one it has");
            continue;
        }
        const LinkSettings portSettings = ForPort(settings, p);
        steps.push_back({PortName(p) + " bit rate", [=](const ExchangeServices& exchange) {
                             return RunOption(kind, CommandKind::SetUserBaud, portSettings, *baud,
                                              nullptr, exchange);
                         }});
    }
    for (size_t p = 0; p < profile.ports.size(); ++p) {
        const CommandKind command =
            p == 0 ? CommandKind::SetListenOnlyCan1 : CommandKind::SetListenOnlyCan2;
        const std::string value = profile.ports[p].listenOnly ? "1" : "0";
        steps.push_back({PortName(p) + " listen-only", [=](const ExchangeServices& exchange) {
                             return RunOption(kind, command, settings, value, nullptr, exchange);
                         }});
    }
    const std::string seconds = std::to_string(profile.busOffSeconds);
    steps.push_back({"bus-off time", [=](const ExchangeServices& exchange) {
                         return RunOption(kind, CommandKind::SetBusOffResetTime, settings, seconds,
                                          nullptr, exchange);
                     }});
    if (resetAfter)
        steps.push_back({"module reset", [=](const ExchangeServices& exchange) {
                             return RunOption(kind, CommandKind::ResetModule, settings, "", nullptr,
                                              exchange);
                         }});
    return steps;
}

}  // namespace

ModuleReading ReadModuleProfile(const LinkSettings& settings, const ProfileRunServices& services) {
    ModuleReading reading;
    ModuleProfile profile;
    const std::vector<Step> steps = ReadSteps(settings, &profile);
    int position = 0;
    services.progress.SetRange(0, static_cast<int32_t>(steps.size()));
    services.progress.SetPos(0);
    if (RunSteps(steps, services, position, &reading.failure) == steps.size())
        reading.profile = std::move(profile);
    return reading;
}

ApplyReport ApplyProfile(const ModuleProfile& profile, const LinkSettings& settings,
                         bool resetAfter, const ProfileRunServices& services) {
    ApplyReport report;
    const std::vector<Step> setSteps =
        SetSteps(profile, settings, resetAfter, services, &report.leftAlone);
    ModuleProfile readBack;
    const std::vector<Step> readSteps = ReadSteps(settings, &readBack);
    int position = 0;
    services.progress.SetRange(0, static_cast<int32_t>(setSteps.size() + readSteps.size()));
    services.progress.SetPos(0);

    const size_t done = RunSteps(setSteps, services, position, &report.failure);
    for (size_t i = 0; i < setSteps.size(); ++i)
        (i < done ? report.set : report.notSet).push_back(setSteps[i].name);
    if (report.failure) {
        report.result = report.failure->result;
        return report;
    }
    if (RunSteps(readSteps, services, position, &report.failure) != readSteps.size()) {
        report.result = report.failure->result;
        return report;
    }
    report.comparison = CompareProfiles(profile, readBack);
    report.matches = AllSame(report.comparison);
    return report;
}

}  // namespace b6409
