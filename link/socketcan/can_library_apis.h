#pragma once

#include <cstdint>
#include <string>

#include "link/socketcan/library_records.h"

namespace b6409 {

// The driver layers of the USB adapters and the PCI cards. One function per role; every result
// is an integer, 0 = success. The device, card or port number identifies the link in each call;
// closing what is not open is harmless.
//
// WaitReceived is no call of the original layers: it blocks until a frame is waiting on the port
// or timeoutMs have passed, and is false when the port cannot be waited on (not open, failed),
// so the caller polls at its own pace instead.
//
// A result code alone cannot say which interface was tried or why the system refused it, so each
// layer also tells, after a failed call, what that call tried and the system's reason, e.g.
// "SocketCAN interface can0: No such device". It is empty when the failure has no such reason
// (a bad argument, a port that is not open) and is replaced by the next call.

class UhvCanApi {
  public:
    virtual ~UhvCanApi() = default;
    virtual int OpenAdapter(const UhvOpenRecord* record) = 0;
    virtual int PrepareSend(uint8_t canPort) = 0;  // discards frames already queued
    virtual int SendFrame(uint8_t canPort, const UhvFrameRecord* frame) = 0;
    virtual int CountReceived(uint8_t canPort, uint32_t* count) = 0;
    virtual int ReceiveFrame(uint8_t canPort, UhvFrameRecord* frame) = 0;
    virtual int CloseAdapter(uint8_t devicePort) = 0;
    virtual bool WaitReceived(uint8_t /*canPort*/, uint32_t /*timeoutMs*/) { return false; }
    virtual std::string LastFailureDetail() const { return {}; }
};

class PcmApi {
  public:
    virtual ~PcmApi() = default;
    virtual int ActivateCard(uint8_t board) = 0;
    virtual int InitPort(uint8_t board, uint8_t canPort) = 0;
    virtual int ConfigurePort(uint8_t board, uint8_t canPort, const CardPortConfig* config) = 0;
    virtual int SendFrame(uint8_t board, uint8_t canPort, const CardFrameRecord* frame) = 0;
    virtual int CountReceived(uint8_t board, uint8_t canPort) = 0;  // the count, 0 = none
    virtual int ReceiveFrame(uint8_t board, uint8_t canPort, CardFrameRecord* frame) = 0;
    virtual int CloseCard(uint8_t board) = 0;
    virtual bool WaitReceived(uint8_t /*board*/, uint8_t /*canPort*/, uint32_t /*timeoutMs*/) {
        return false;
    }
    virtual std::string LastFailureDetail() const { return {}; }
};

class PccApi {
  public:
    virtual ~PccApi() = default;
    virtual int ActivateCard(uint8_t board) = 0;
    virtual int ResetPort(uint8_t board, uint8_t canPort) = 0;
    virtual int InitPort(uint8_t board, uint8_t canPort) = 0;
    virtual int ConfigurePort(uint8_t board, uint8_t canPort, const CardPortConfig* config) = 0;
    virtual int EnableReceiveInterrupt(uint8_t board, uint8_t canPort) = 0;
    virtual int InstallInterruptHandler(uint8_t board) = 0;
    virtual int SendFrame(uint8_t board, uint8_t canPort, const CardFrameRecord* frame) = 0;
    virtual int CountReceived(uint8_t board, uint8_t canPort) = 0;  // the count, 0 = none
    virtual int ReceiveFrame(uint8_t board, uint8_t canPort, CardFrameRecord* frame) = 0;
    virtual int CloseCard(uint8_t board) = 0;
    virtual bool WaitReceived(uint8_t /*board*/, uint8_t /*canPort*/, uint32_t /*timeoutMs*/) {
        return false;
    }
    virtual std::string LastFailureDetail() const { return {}; }
};

// The names under which results of the USB adapter layer are shown. Results without a name
// show as "UHV_Err(<code>)".
std::string LibraryErrorName(int code);

}  // namespace b6409
