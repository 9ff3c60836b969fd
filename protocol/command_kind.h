#pragma once

#include <cstdint>
#include <string>

namespace b6409 {

// The fourteen configuration exchanges. The numbers are the interface with the main window,
// which stores the selected option as one of them.
enum class CommandKind : uint8_t {
    GetModuleInfo = 1,
    ResetModule = 2,
    SetFilterList = 3,
    GetFilterList = 4,
    SetUserBaud = 5,
    GetUserBaud = 6,
    SetMappingList = 7,
    GetMappingList = 8,
    SetBusOffResetTime = 9,
    GetBusOffResetTime = 10,
    SetListenOnlyCan1 = 11,
    GetListenOnlyCan1 = 12,
    SetListenOnlyCan2 = 13,
    GetListenOnlyCan2 = 14,
};

enum class CommandResult : uint8_t {
    Ok = 0,          // reply accepted
    LinkFailed = 1,  // open, send or receive failed, or no reply came
    // The input cannot go to the module as it stands (a list row, an option value): nothing was
    // sent. 2 as for bad usage of b6409ctl.
    Refused = 2,
    ModuleError = 8,  // the module answered with an error reply
    // A list download that its caller stopped between two rows, before the end step: the
    // module's list is incomplete. Never a module reply; 130 as for a program ended by Ctrl+C.
    Stopped = 130,
};

// Command codes, the low byte of a request identifier. Per-port codes are combined with
// modulePort << 8; module-wide codes stand alone.
namespace code {
// module-wide
inline constexpr uint8_t kModuleInfo = 0x01;
inline constexpr uint8_t kModuleReset = 0x02;
inline constexpr uint8_t kSetBusOff = 0x03;
inline constexpr uint8_t kGetBusOff = 0x04;
inline constexpr uint8_t kSetListenOnlyCan1 = 0x05;
inline constexpr uint8_t kGetListenOnlyCan1 = 0x06;
inline constexpr uint8_t kSetListenOnlyCan2 = 0x07;
inline constexpr uint8_t kGetListenOnlyCan2 = 0x08;
// per port
inline constexpr uint8_t kFilterBegin = 0x01;
inline constexpr uint8_t kFilterEnd = 0x02;
inline constexpr uint8_t kFilterRead = 0x03;
inline constexpr uint8_t kFilterAcceptAll = 0x04;
inline constexpr uint8_t kSetUserBaud = 0x05;
inline constexpr uint8_t kGetUserBaud = 0x06;
inline constexpr uint8_t kMappingBegin = 0x07;
inline constexpr uint8_t kMappingEnd = 0x08;
inline constexpr uint8_t kMappingRead = 0x09;
inline constexpr uint8_t kMappingNone = 0x0A;
inline constexpr uint8_t kFilterSid11 = 0x11;
inline constexpr uint8_t kFilterGid11 = 0x12;
inline constexpr uint8_t kFilterSid29 = 0x13;
inline constexpr uint8_t kFilterGid29 = 0x14;
inline constexpr uint8_t kMappingSource11 = 0x15;
inline constexpr uint8_t kMappingSource29 = 0x16;
}  // namespace code

// A reply carries the request identifier plus this.
inline constexpr uint32_t kReplyIdOffset = 0x400;

// One step of a list download: the code and the two values of its request.
struct ListStep {
    uint8_t listCode = 0;
    uint32_t listValueLow = 0;
    uint32_t listValueHigh = 0;
};

// The module's error names, indexed by the error code of an error reply. Codes 9 to 14 have
// no name and give an empty text (the message then ends after "ErrMsg= "); codes from 16 on
// show as "Unknown_Err(<code>)".
std::string ModuleErrorName(unsigned code);

bool IsListRead(CommandKind kind);
bool IsValid(CommandKind kind);

}  // namespace b6409
