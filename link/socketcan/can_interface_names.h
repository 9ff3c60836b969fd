#pragma once

#include <functional>
#include <string>

#include "link/device_kind.h"

namespace b6409 {

// Names the SocketCAN interface a CAN port of a USB adapter or a PCI card is reached through,
// given the kind, the adapter's COM number or the card's board number, and the CAN port
// (1-based). Serial kinds have no CAN interface; their name is empty. The SocketCAN layers are
// handed one; the program chooses which (see SystemLinkFactory).
//
// The bit rate cannot be chosen from here: changing it needs network-admin rights, so a port
// runs at whatever its interface was set up with, e.g.
//   ip link set can0 type can bitrate 250000 && ip link set can0 up
// The rates the callers ask for are recorded, not applied.
using CanInterfaceNamer =
    std::function<std::string(DeviceKind kind, int deviceOrBoard, int canPort)>;

// The mapping by the environment, read at each call:
//
//   UHV-1 / UHV-2 on COM n, CAN port p:  $B6409_UHV<n>_CAN<p>  if set, else  can<p-1>
//   PCM-1 card on board b, CAN port p:   $B6409_PCM<b>_CAN<p>  if set, else  can<p-1>
//   PCC-2 / PCC-4 on board b, port p:    $B6409_PCC<b>_CAN<p>  if set, else  can<p-1>
//
// Examples: B6409_UHV3_CAN2=vcan0 sends what the UHV-2 on COM3 puts on its CAN2 through vcan0;
// with nothing set, PCC-4 board 0 port 3 is can2.
std::string DefaultCanInterfaceName(DeviceKind kind, int deviceOrBoard, int canPort);

// One interface for every CAN port, whatever the mapping says (b6409ctl --can-if NAME); serial
// kinds still get none. Empty keeps DefaultCanInterfaceName.
CanInterfaceNamer CanInterfaceOverride(std::string ifname);

}  // namespace b6409
