#include "link/socketcan/can_interface_names.h"

#include <cstdlib>
#include <utility>

#include "common/text_format.h"

namespace b6409 {

namespace {

const char* EnvPrefix(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::Uhv1:
        case DeviceKind::Uhv2:
            return "UHV";
        case DeviceKind::Pcm1:
            return "PCM";
        case DeviceKind::Pcc2:
        case DeviceKind::Pcc4:
            return "PCC";
        default:
            return nullptr;
    }
}

}  // namespace

std::string DefaultCanInterfaceName(DeviceKind kind, int deviceOrBoard, int canPort) {
    const char* prefix = EnvPrefix(kind);
    if (!prefix) return {};
    const std::string variable = FormatText("B6409_%s%d_CAN%d", prefix, deviceOrBoard, canPort);
    if (const char* value = std::getenv(variable.c_str()); value && *value) return value;
    return FormatText("can%d", canPort - 1);
}

CanInterfaceNamer CanInterfaceOverride(std::string ifname) {
    if (ifname.empty()) return DefaultCanInterfaceName;
    return [ifname = std::move(ifname)](DeviceKind kind, int, int) {
        return EnvPrefix(kind) ? ifname : std::string();
    };
}

}  // namespace b6409
