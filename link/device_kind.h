#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace b6409 {

// The PC-side interface of the current link. The numbers are stored and passed around.
enum class DeviceKind : uint8_t {
    Uhv1 = 1,
    Uhv2 = 2,
    Pcm1 = 3,
    Pcc2 = 4,
    Pcc4 = 5,
    Scv1 = 6,
    Ucv1 = 7,
    Ecv1d = 8,
};

// What the device selection shows for one kind.
struct DeviceKindInfo {
    DeviceKind kind;
    int radioControlId;
    const char* caption;       // radio caption, e.g. "SCV-1(A)"
    const char* cliName;       // name on the command line, e.g. "scv1"
    const char* devPortLabel;  // "Dev_Port :" or "Board_ID :"
    bool usesBoardNumbers;     // Dev_Port lists 0..15 instead of COM1..COM256
    int canPortCount;          // entries of the CAN_Port list
};

const DeviceKindInfo& InfoOf(DeviceKind kind);
const std::vector<DeviceKindInfo>& AllDeviceKinds();
std::optional<DeviceKind> DeviceKindFromCliName(std::string_view name);

bool IsSerialKind(DeviceKind kind);

// The entries of the Dev_Port and CAN_Port lists for a kind, in order.
std::vector<std::string> DevPortEntries(DeviceKind kind);
std::vector<std::string> CanPortEntries(DeviceKind kind);

}  // namespace b6409
