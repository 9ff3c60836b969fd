#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/can_frame.h"
#include "link/serial/ser_port_api.h"

namespace b6409 {

// The ASCII line protocol of the serial converters: one CAN frame per CR-ended line,
// t/T (11-bit data/remote), e/E (29-bit), ID digits, one DLC digit, two digits per data byte.

// Baud rates the SCV-1 search tries, in this order.
inline constexpr std::array<uint32_t, 8> kScv1BaudRates = {115200, 9600, 57600, 38400,
                                                           19200,  4800, 1200,  2400};
inline constexpr uint32_t kUcv1BaudRate = 921600;
inline constexpr uint32_t kEcv1dBaudRate = 115200;

inline constexpr uint32_t kHandshakeTimeoutMs = 500;
inline constexpr uint32_t kFrameTextTimeoutMs = 3000;

// The line for a frame, CR included. The utility writes upper-case digits; the simulator can
// ask for lower case.
std::string FormatFrameText(const CanFrame& frame, bool lowerCaseDigits = false);

// The frame a received text holds. Digits of either case. A text that starts with anything
// but t, T, e or E is the all-zero frame. Only the given characters are read: positions past
// them count as 0, and at most 8 data bytes are taken whatever the DLC digit says.
CanFrame ParseFrameText(const char* text, size_t length);

// Value of one received digit: above '9' reduced by 7, then the low four bits.
// Bytes are taken as unsigned, so a byte above 0x7F counts as above '9' on every platform.
inline uint8_t HexDigitValue(char c) {
    const unsigned value = static_cast<unsigned char>(c);
    return static_cast<uint8_t>((value > '9' ? value - 7 : value) & 0x0F);
}

// Sends the frame's line on the port; returns the layer's result.
uint16_t EncodeFrameText(SerPortApi& serial, uint16_t port, const CanFrame& frame);

// Reads one line (3000 ms at most) and returns the frame it holds.
CanFrame DecodeFrameText(SerPortApi& serial, uint16_t port);

// "S\r" and "S83\r", each answered with a reply whose first character is '!'.
bool SerialHandshake(SerPortApi& serial, uint16_t port);

}  // namespace b6409
