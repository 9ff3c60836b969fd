#pragma once

#include <cstdint>

namespace b6409 {

// The COM port driver layer of the serial converters. The port number identifies the port in
// every call; results are 16-bit, 0 = success. Closing a port that is not open is harmless.
class SerPortApi {
  public:
    static constexpr int kLineBufferSize = 30;

    virtual ~SerPortApi() = default;
    // dataBits is 8; parity and stopBits are 0 (no parity, one stop bit).
    virtual uint16_t OpenPort(uint16_t port, uint32_t baud, uint8_t dataBits, uint8_t parity,
                              uint8_t stopBits) = 0;
    virtual uint16_t WriteChars(uint16_t port, const char* text, uint16_t length) = 0;
    // Received bytes waiting on the port (0 = none).
    virtual uint32_t CountReceived(uint16_t port) = 0;
    // Blocks until received bytes are waiting on the port or timeoutMs have passed. False when
    // the port cannot be waited on (not open, hung up, or a layer with no way to wait), so the
    // caller must pace its polls itself.
    virtual bool WaitReceived(uint16_t /*port*/, uint32_t /*timeoutMs*/) { return false; }
    // Reads one CR-ended line into buffer (kLineBufferSize characters), from its first
    // character, or whatever arrived when timeoutMs expired. Bytes past the line stay waiting;
    // characters of an over-long line beyond the buffer are dropped up to its CR.
    // The buffer is not cleared: characters beyond those read keep their old values.
    virtual uint16_t ReadLine(uint16_t port, char* buffer, uint32_t timeoutMs, uint32_t reserved,
                              uint16_t* countRead) = 0;
    virtual void ClosePort(uint16_t port) = 0;
    // False for a port that is a network stream: it has no line rate to search.
    virtual bool HasBaudRate(uint16_t /*port*/) { return true; }
};

}  // namespace b6409
