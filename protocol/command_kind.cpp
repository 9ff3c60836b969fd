#include "protocol/command_kind.h"

#include "common/text_format.h"

namespace b6409 {

std::string ModuleErrorName(unsigned code) {
    static const char* const kNames[16] = {
        "No_Err",
        "Process_Err",
        "Parameter_Format_Err",
        "CAN_FIDRec_Err",
        "CmdNo_Err",
        "CAN_No_Err",
        "CmdLen_Err",
        "CANRTR_Err",
        "CAN_OtherDevBaud_Err",
        "",
        "",
        "",
        "",
        "",
        "",
        "Timeout_Err",
    };
    if (code < 16) return kNames[code];
    return FormatText("Unknown_Err(%u)", code);
}

bool IsListRead(CommandKind kind) {
    return kind == CommandKind::GetFilterList || kind == CommandKind::GetMappingList;
}

bool IsValid(CommandKind kind) {
    const auto n = static_cast<unsigned>(kind);
    return n >= 1 && n <= 14;
}

}  // namespace b6409
