#include "protocol/exchange.h"

#include "common/text_format.h"
#include "protocol/option_values.h"
#include "protocol/reply_values.h"

namespace b6409 {

namespace {

uint32_t RequestId(CommandKind command, const LinkNumbers& numbers, const ExchangeInputs& inputs) {
    const uint32_t port = uint32_t(numbers.modulePort) << 8;
    switch (command) {
        case CommandKind::GetModuleInfo:
            return code::kModuleInfo;
        case CommandKind::ResetModule:
            return code::kModuleReset;
        case CommandKind::SetFilterList:
        case CommandKind::SetMappingList:
            return port + inputs.listStep.listCode;
        case CommandKind::GetFilterList:
            return port + code::kFilterRead;
        case CommandKind::SetUserBaud:
            return port + code::kSetUserBaud;
        case CommandKind::GetUserBaud:
            return port + code::kGetUserBaud;
        case CommandKind::GetMappingList:
            return port + code::kMappingRead;
        case CommandKind::SetBusOffResetTime:
            return code::kSetBusOff;
        case CommandKind::GetBusOffResetTime:
            return code::kGetBusOff;
        case CommandKind::SetListenOnlyCan1:
            return code::kSetListenOnlyCan1;
        case CommandKind::GetListenOnlyCan1:
            return code::kGetListenOnlyCan1;
        case CommandKind::SetListenOnlyCan2:
            return code::kSetListenOnlyCan2;
        case CommandKind::GetListenOnlyCan2:
            return code::kGetListenOnlyCan2;
    }
    return 0;
}

const char* ListenOnlySetMessage(int port, bool enable) {
    if (port == 1)
        return enable ? "Enable CAN1 Listen-Only Mode OK !" : "Disable CAN1 Listen-Only Mode OK !";
    return enable ? "Enable CAN2 Listen-Only Mode OK !" : "Disable CAN2 Listen-Only Mode OK !";
}

const char* ListenOnlyGetMessage(int port, bool enabled) {
    if (port == 1)
        return enabled ? "CAN1 Listen-Only Mode Enabled" : "CAN1 Listen-Only Mode Disabled";
    return enabled ? "CAN2 Listen-Only Mode Enabled" : "CAN2 Listen-Only Mode Disabled";
}

// The message of an accepted reply; empty for the silent list-download steps.
std::string AcceptedMessage(CommandKind command, const CanFrame& request, const CanFrame& reply,
                            int modulePort, int entryCount) {
    const uint8_t listCode = static_cast<uint8_t>(request.id & 0xFF);
    switch (command) {
        case CommandKind::GetModuleInfo:
            return "FW_Ver = " + FirmwareVersionText(reply);
        case CommandKind::ResetModule:
            return "B-6409 Module Reset OK !";
        case CommandKind::SetFilterList:
            if (listCode == code::kFilterAcceptAll)
                return FormatText("Set CAN%d-ID Filter All Pass OK !", modulePort);
            if (listCode == code::kFilterEnd)
                return FormatText("Set CAN%d-ID Filter OK !", modulePort);
            return {};
        case CommandKind::GetFilterList:
            return entryCount == 0 ? FormatText("CAN%d Accept All ID", modulePort)
                                   : FormatText("Get CAN%d-ID Filter OK !", modulePort);
        case CommandKind::SetUserBaud:
            return FormatText("Set CAN%d User-defined Baudrate OK !", modulePort);
        case CommandKind::GetUserBaud:
            if (reply.dlc == 1)
                return FormatText("No CAN%d User-defined Baudrate Record !", modulePort);
            return FormatText("CAN%d User-defined Baudrate : %lu.%lu (Kbps)", modulePort,
                              static_cast<unsigned long>(reply.Word(0)),
                              static_cast<unsigned long>(reply.Word(2)));
        case CommandKind::SetMappingList:
            if (listCode == code::kMappingNone)
                return FormatText("Set CAN%d-ID No Mapping OK !", modulePort);
            if (listCode == code::kMappingEnd)
                return FormatText("Set CAN%d-ID Mapping OK !", modulePort);
            return {};
        case CommandKind::GetMappingList:
            return entryCount == 0 ? FormatText("CAN%d No Mapping ID", modulePort)
                                   : FormatText("Get CAN%d-ID Mapping OK !", modulePort);
        case CommandKind::SetBusOffResetTime:
            return "Set Bus-Off Auto Reset Module OK !";
        case CommandKind::GetBusOffResetTime: {
            const int seconds = reply.Word(0);
            if (seconds != 0) return FormatText("Bus-Off Auto Reset Time = %d (Sec)", seconds);
            return FormatText("Bus-Off Auto Reset Time = %d (Sec) [Function Disabled]", 0);
        }
        case CommandKind::SetListenOnlyCan1:
            return ListenOnlySetMessage(1, request.DataLow() != 0);
        case CommandKind::SetListenOnlyCan2:
            return ListenOnlySetMessage(2, request.DataLow() != 0);
        case CommandKind::GetListenOnlyCan1:
            return ListenOnlyGetMessage(1, reply.Word(0) != 0);
        case CommandKind::GetListenOnlyCan2:
            return ListenOnlyGetMessage(2, reply.Word(0) != 0);
    }
    return {};
}

}  // namespace

CanFrame BuildRequest(CommandKind command, const LinkNumbers& numbers,
                      const ExchangeInputs& inputs) {
    CanFrame request;
    request.id = RequestId(command, numbers, inputs);
    request.dlc = 8;
    if (command == CommandKind::SetFilterList || command == CommandKind::SetMappingList) {
        request.SetDataLow(inputs.listStep.listValueLow);
        request.SetDataHigh(inputs.listStep.listValueHigh);
    } else {
        request.SetDataLow(OptionRequestValue(command, inputs.optionValueText));
    }
    return request;
}

CommandResult ExchangeCommand(DeviceKind kind, CommandKind command, const ExchangeInputs& inputs,
                              const ExchangeServices& services) {
    // Before the link opens: a value that would arrive changed must not reach the module.
    if (const auto problem = OptionValueProblem(command, inputs.optionValueText)) {
        services.sink.Show(*problem, MessageIcon::Stop);
        return CommandResult::Refused;
    }
    const LinkNumbers numbers = inputs.settings.Derive();
    const CanFrame request = BuildRequest(command, numbers, inputs);
    const uint32_t expectedReplyId = request.id + kReplyIdOffset;
    const bool listRead = IsListRead(command);
    int entryCount = 0;
    if (listRead && inputs.listReader) inputs.listReader->ResetReceivePairing();

    auto link = services.links.MakeLink(kind, numbers);
    if (auto failure = link->Open()) {
        CloseAndReport(*link, services.sink, *failure);
        return CommandResult::LinkFailed;
    }
    if (auto failure = link->SendFrame(request)) {
        CloseAndReport(*link, services.sink, *failure);
        return CommandResult::LinkFailed;
    }
    ExchangeWaits waits(services.pacing, *link, services.clock);
    waits.AfterSend();

    CanFrame reply;
    for (;;) {
        if (link->WaitingCount() == 0) {
            if (!waits.AwaitMore()) {
                CloseAndReport(*link, services.sink, "Config Command Timeout");
                return CommandResult::LinkFailed;
            }
            continue;
        }
        waits.Arrived();
        ReceiveOutcome received = link->ReceiveFrame();
        if (received.failure) {
            CloseAndReport(*link, services.sink, *received.failure);
            return CommandResult::LinkFailed;
        }
        reply = received.frame;
        if (listRead && reply.id == expectedReplyId && reply.dlc != 1) {
            // A sender that never ends the list would grow the table without limit.
            if (entryCount == kListReadEntryLimit) {
                CloseAndReport(*link, services.sink,
                               FormatText("More than %d entries came without the list's end: the "
                                          "read was stopped; the list is incomplete.",
                                          kListReadEntryLimit));
                return CommandResult::LinkFailed;
            }
            ++entryCount;
            if (inputs.listReader)
                inputs.listReader->AppendReceived(static_cast<uint16_t>(reply.DataLow() >> 16),
                                                  reply.DataHigh());
            continue;
        }
        break;
    }
    link->Close();

    if (reply.id != expectedReplyId) {
        unsigned errorCode = reply.data[0];
        if (errorCode == 0) errorCode = 8;
        services.sink.Show("ErrMsg= " + ModuleErrorName(errorCode), MessageIcon::None);
        return CommandResult::ModuleError;
    }
    if (inputs.acceptedReply) *inputs.acceptedReply = reply;
    const std::string message =
        AcceptedMessage(command, request, reply, numbers.modulePort, entryCount);
    if (!message.empty()) services.sink.Show(message, MessageIcon::None);
    return CommandResult::Ok;
}

}  // namespace b6409
