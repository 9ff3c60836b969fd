#include "link/serial/line_protocol.h"

#include <algorithm>
#include <cstring>

namespace b6409 {

namespace {

char DigitChar(unsigned value, bool lowerCase) {
    static const char kUpper[] = "0123456789ABCDEF";
    static const char kLower[] = "0123456789abcdef";
    return (lowerCase ? kLower : kUpper)[value & 0x0F];
}

}  // namespace

std::string FormatFrameText(const CanFrame& frame, bool lowerCaseDigits) {
    std::string line;
    line.reserve(SerPortApi::kLineBufferSize);
    int idDigits = 3;
    if (frame.extended) {
        line += frame.remote ? 'E' : 'e';
        idDigits = 8;
    } else {
        line += frame.remote ? 'T' : 't';
    }
    for (int digit = idDigits - 1; digit >= 0; --digit)
        line += DigitChar(frame.id >> (4 * digit), lowerCaseDigits);
    line += DigitChar(frame.dlc, lowerCaseDigits);
    if (!frame.remote) {
        const int bytes = std::min<int>(frame.dlc, 8);
        for (int i = 0; i < bytes; ++i) {
            line += DigitChar(frame.data[i] >> 4, lowerCaseDigits);
            line += DigitChar(frame.data[i], lowerCaseDigits);
        }
    }
    line += '\r';
    return line;
}

CanFrame ParseFrameText(const char* text, size_t length) {
    // A position past the received characters reads as the cleared buffer would: 0.
    auto digit = [&](size_t at) -> uint32_t { return at < length ? HexDigitValue(text[at]) : 0; };

    CanFrame frame;
    if (length == 0) return frame;
    const char kind = text[0];
    size_t idDigits;
    if (kind == 't' || kind == 'T') {
        idDigits = 3;
    } else if (kind == 'e' || kind == 'E') {
        idDigits = 8;
        frame.extended = true;
    } else {
        return frame;
    }
    frame.remote = (kind == 'T' || kind == 'E');
    for (size_t i = 1; i <= idDigits; ++i) frame.id = (frame.id << 4) | digit(i);
    const uint32_t announced = digit(idDigits + 1);
    frame.dlc = static_cast<uint8_t>(std::min<uint32_t>(announced, 8));
    if (!frame.remote) {
        const size_t first = idDigits + 2;
        for (size_t i = 0; i < frame.dlc; ++i)
            frame.data[i] =
                static_cast<uint8_t>(digit(first + 2 * i) << 4 | digit(first + 2 * i + 1));
    }
    return frame;
}

uint16_t EncodeFrameText(SerPortApi& serial, uint16_t port, const CanFrame& frame) {
    const std::string line = FormatFrameText(frame);
    return serial.WriteChars(port, line.data(), static_cast<uint16_t>(line.size()));
}

CanFrame DecodeFrameText(SerPortApi& serial, uint16_t port) {
    char buffer[SerPortApi::kLineBufferSize] = {};
    uint16_t count = 0;
    serial.ReadLine(port, buffer, kFrameTextTimeoutMs, 0, &count);
    return ParseFrameText(buffer, std::min<size_t>(count, sizeof buffer));
}

bool SerialHandshake(SerPortApi& serial, uint16_t port) {
    // One buffer for both replies, cleared once: a second read that delivers nothing leaves the
    // first reply's '!' in place.
    char reply[SerPortApi::kLineBufferSize] = {};
    uint16_t count = 0;
    for (const char* text : {"S\r", "S83\r"}) {
        serial.WriteChars(port, text, static_cast<uint16_t>(std::strlen(text)));
        serial.ReadLine(port, reply, kHandshakeTimeoutMs, 0, &count);
        if (reply[0] != '!') return false;
    }
    return true;
}

}  // namespace b6409
