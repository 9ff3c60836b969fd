#pragma once

#include <cstdint>

namespace b6409 {

// Frame record of the USB adapter layer (24 bytes).
struct UhvFrameRecord {
    uint8_t format = 0;  // 0 = 11-bit, 1 = 29-bit
    uint8_t remote = 0;
    uint8_t dlc = 0;
    uint8_t unused = 0;
    uint32_t id = 0;
    uint8_t reserved[8] = {};
    uint8_t data[8] = {};
};
static_assert(sizeof(UhvFrameRecord) == 24);

// Open record of the USB adapter layer (12 bytes).
struct UhvOpenRecord {
    uint8_t devicePort = 0;  // COM port number of the adapter
    uint8_t deviceKind = 0;  // 1 = UHV-1, 2 = UHV-2
    uint8_t unused[2] = {};
    uint32_t bitRateCan1 = 0;  // bit/s, 0 = port not used
    uint32_t bitRateCan2 = 0;
};
static_assert(sizeof(UhvOpenRecord) == 12);

// Frame record of the PCI card layers (the first 26 bytes are used).
struct CardFrameRecord {
    uint8_t reserved[8] = {};
    uint8_t format = 0;  // 0 = 11-bit, 1 = 29-bit
    uint8_t unused[3] = {};
    uint32_t id = 0;
    uint8_t remote = 0;
    uint8_t dlc = 0;
    uint8_t data[8] = {};
    uint8_t tail[2] = {};
};
static_assert(sizeof(CardFrameRecord) == 28);

// Port configuration record of the PCI card layers (the first 11 bytes are used).
struct CardPortConfig {
    uint8_t acceptanceCode[4] = {0, 0, 0, 0};
    uint8_t acceptanceMask[4] = {0xFF, 0xFF, 0xFF, 0xFF};  // every bit "don't care": accept all
    uint8_t bitRateIndex = 5;
    uint8_t reserved[2] = {};
};
static_assert(sizeof(CardPortConfig) == 11);

}  // namespace b6409
