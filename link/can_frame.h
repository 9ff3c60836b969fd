#pragma once

#include <array>
#include <cstdint>

namespace b6409 {

// One CAN frame as the exchange hands it to a link and gets it back.
struct CanFrame {
    uint32_t id = 0;
    bool extended = false;  // 29-bit frame format
    bool remote = false;
    uint8_t dlc = 0;  // 0..8
    std::array<uint8_t, 8> data{};

    // The protocol reads the data as two little-endian 32-bit values.
    uint32_t DataLow() const { return ReadLe(0); }
    uint32_t DataHigh() const { return ReadLe(4); }
    void SetDataLow(uint32_t value) { WriteLe(0, value); }
    void SetDataHigh(uint32_t value) { WriteLe(4, value); }
    uint16_t Word(int byteIndex) const {
        return static_cast<uint16_t>(data[byteIndex] | (data[byteIndex + 1] << 8));
    }

    bool operator==(const CanFrame&) const = default;

  private:
    uint32_t ReadLe(int at) const {
        return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
               uint32_t(data[at + 3]) << 24;
    }
    void WriteLe(int at, uint32_t value) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
};

}  // namespace b6409
