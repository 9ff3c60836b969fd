#include "link/serial/serial_link.h"

#include "common/text_format.h"
#include "link/serial/line_protocol.h"

namespace b6409 {

namespace {

LinkFailure OpenFailure(unsigned code) {
    return {FormatText("Device Open Fail !! (ErrCode:%d)", static_cast<int>(code))};
}

}  // namespace

SerialLink::SerialLink(SerPortApi& serial, Clock& clock, DeviceKind kind, uint16_t devicePortNumber)
    : serial_(serial), clock_(clock), kind_(kind), port_(devicePortNumber) {}

std::optional<LinkFailure> SerialLink::Open() {
    if (kind_ == DeviceKind::Scv1) return SearchScv1();
    const uint32_t baud = kind_ == DeviceKind::Ucv1 ? kUcv1BaudRate : kEcv1dBaudRate;
    if (const uint16_t code = serial_.OpenPort(port_, baud, 8, 0, 0); code != 0)
        return OpenFailure(code);
    return std::nullopt;
}

std::optional<LinkFailure> SerialLink::SearchScv1() {
    uint16_t lastCode = 0;
    for (const uint32_t baud : kScv1BaudRates) {
        if (const uint16_t code = serial_.OpenPort(port_, baud, 8, 0, 0); code != 0) {
            lastCode = code;
        } else if (SerialHandshake(serial_, port_)) {
            return std::nullopt;
        } else {
            lastCode = kHandshakeFailedCode;
            serial_.ClosePort(port_);
        }
        // A TCP stream carries the bytes at whatever rate the converter's serial side runs:
        // one trial says all there is.
        if (!serial_.HasBaudRate(port_)) break;
        clock_.SleepMs(kBaudTrialPauseMs);
    }
    return OpenFailure(lastCode);
}

std::optional<LinkFailure> SerialLink::SendFrame(const CanFrame& frame) {
    // The converters do not report write failures; a lost request ends in the poll's time-out.
    EncodeFrameText(serial_, port_, frame);
    return std::nullopt;
}

uint32_t SerialLink::WaitingCount() {
    return serial_.CountReceived(port_);
}

bool SerialLink::WaitForReply(unsigned timeoutMs) {
    // The first bytes of a line are enough: the read that follows waits for the rest of it.
    return serial_.WaitReceived(port_, timeoutMs);
}

ReceiveOutcome SerialLink::ReceiveFrame() {
    return {DecodeFrameText(serial_, port_), std::nullopt};
}

void SerialLink::Close() {
    serial_.ClosePort(port_);
}

}  // namespace b6409
