#include "link/device_kind.h"

#include "common/text_format.h"

namespace b6409 {

const std::vector<DeviceKindInfo>& AllDeviceKinds() {
    static const std::vector<DeviceKindInfo> kinds = {
        {DeviceKind::Uhv1, 1003, "UHV-1", "uhv1", "Dev_Port :", false, 1},
        {DeviceKind::Uhv2, 1004, "UHV-2", "uhv2", "Dev_Port :", false, 2},
        {DeviceKind::Pcm1, 1005, "PCM-1(U)", "pcm1", "Board_ID :", true, 1},
        {DeviceKind::Pcc2, 1006, "PCC-2", "pcc2", "Board_ID :", true, 2},
        {DeviceKind::Pcc4, 1007, "PCC-4", "pcc4", "Board_ID :", true, 4},
        {DeviceKind::Scv1, 1000, "SCV-1(A)", "scv1", "Dev_Port :", false, 1},
        {DeviceKind::Ucv1, 1002, "UCV-1", "ucv1", "Dev_Port :", false, 1},
        {DeviceKind::Ecv1d, 1001, "ECV-1D", "ecv1d", "Dev_Port :", false, 1},
    };
    return kinds;
}

const DeviceKindInfo& InfoOf(DeviceKind kind) {
    return AllDeviceKinds().at(static_cast<size_t>(kind) - 1);
}

std::optional<DeviceKind> DeviceKindFromCliName(std::string_view name) {
    for (const auto& info : AllDeviceKinds())
        if (name == info.cliName) return info.kind;
    return std::nullopt;
}

bool IsSerialKind(DeviceKind kind) {
    return kind == DeviceKind::Scv1 || kind == DeviceKind::Ucv1 || kind == DeviceKind::Ecv1d;
}

std::vector<std::string> DevPortEntries(DeviceKind kind) {
    std::vector<std::string> entries;
    if (InfoOf(kind).usesBoardNumbers) {
        for (int board = 0; board <= 15; ++board) entries.push_back(FormatText("%d", board));
    } else {
        for (int com = 1; com <= 256; ++com) entries.push_back(FormatText("COM%d", com));
    }
    return entries;
}

std::vector<std::string> CanPortEntries(DeviceKind kind) {
    std::vector<std::string> entries;
    for (int port = 1; port <= InfoOf(kind).canPortCount; ++port)
        entries.push_back(FormatText("CAN%d", port));
    return entries;
}

}  // namespace b6409
