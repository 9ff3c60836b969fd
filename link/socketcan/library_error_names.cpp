#include "common/text_format.h"
#include "link/socketcan/can_library_apis.h"

namespace b6409 {

std::string LibraryErrorName(int code) {
    static const char* const kNames[16] = {
        "No_Err",
        "DEV_ModName_Err",
        "DEV_ModNotExist_Err",
        "DEV_PortNotExist_Err",
        "DEV_PortInUse_Err",
        "DEV_PortNotOpen_Err",
        "CAN_ConfigFail_Err",
        "CAN_HARDWARE_Err",
        "CAN_PortNo_Err",
        "CAN_FIDLength_Err",
        "CAN_DevDisconnect_Err",
        "CAN_TimeOut_Err",
        "CAN_ConfigCmd_Err",
        "CAN_ConfigBusy_Err",
        "CAN_RxBufEmpty",
        "CAN_TxBufFull",
    };
    if (code >= 0 && code < 16) return kNames[code];
    return FormatText("UHV_Err(%d)", code);
}

}  // namespace b6409
