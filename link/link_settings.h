#pragma once

#include <cstdint>

#include "link/device_kind.h"

namespace b6409 {

// The numbers every exchange derives afresh from the user's choices.
struct LinkNumbers {
    uint8_t modulePort;         // 1 = module CAN1, 2 = module CAN2
    uint8_t boardNumber;        // card number 0..15
    uint16_t devicePortNumber;  // COM port number, 1-based; 16 bits so that COM256 stays 256
    uint8_t canPortNumber;      // CAN port of the PC-side interface, 1-based
};

// The user's choice of interface and ports: the kind and three 0-based list positions.
// At start the SCV-1 is chosen with COM1, CAN1 and module CAN1.
struct LinkSettings {
    DeviceKind deviceKind = DeviceKind::Scv1;
    uint8_t devicePortIndex = 0;
    uint8_t canPortIndex = 0;
    uint8_t modulePortIndex = 0;

    LinkNumbers Derive() const {
        return {static_cast<uint8_t>(modulePortIndex + 1), devicePortIndex,
                static_cast<uint16_t>(devicePortIndex + 1), static_cast<uint8_t>(canPortIndex + 1)};
    }

    // Choosing a kind resets both device-side positions to the first entries now shown.
    void ChooseDeviceKind(DeviceKind kind) {
        deviceKind = kind;
        devicePortIndex = 0;
        canPortIndex = 0;
    }
};

}  // namespace b6409
