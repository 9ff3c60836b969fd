// The serial converters' line protocol fed arbitrary text. The input is read as: one received
// line for ParseFrameText, then what arrives on the COM port, then the choices a port layer
// makes (how much each read delivers, what the counts say, whether a port opens), taken from
// the input's end. Through a fake port layer it drives DecodeFrameText, SerialHandshake and a
// whole command exchange over the serial link, SCV-1 baud search and list reads included.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/message_sink.h"
#include "idtable/id_table.h"
#include "idtable/list_transfer.h"
#include "link/serial/line_protocol.h"
#include "link/serial/ser_port_api.h"
#include "link/serial/serial_link.h"
#include "protocol/exchange.h"

namespace {

using namespace b6409;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "line protocol invariant broken: %s\n", what);
    std::abort();
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A line as a converter writes it: kind letter, ID digits, a DLC digit from 0 to 8, two digits
// per data byte (none for a remote frame), CR.
bool WellFormed(const std::string& line) {
    if (line.empty()) return false;
    const char kind = line[0];
    size_t idDigits;
    if (kind == 't' || kind == 'T') {
        idDigits = 3;
    } else if (kind == 'e' || kind == 'E') {
        idDigits = 8;
    } else {
        return false;
    }
    if (line.size() < idDigits + 3) return false;
    for (size_t i = 1; i <= idDigits; ++i)
        if (!IsHexDigit(line[i])) return false;
    const char dlc = line[idDigits + 1];
    if (dlc < '0' || dlc > '8') return false;
    const bool remote = kind == 'T' || kind == 'E';
    const size_t dataDigits = remote ? 0 : 2 * size_t(dlc - '0');
    if (line.size() != idDigits + 2 + dataDigits + 1) return false;
    for (size_t i = idDigits + 2; i < idDigits + 2 + dataDigits; ++i)
        if (!IsHexDigit(line[i])) return false;
    return line.back() == '\r';
}

// The line with upper-case digits; the kind letter stays as it is.
std::string UpperDigits(std::string text) {
    for (size_t i = 1; i < text.size(); ++i)
        if (text[i] >= 'a' && text[i] <= 'f') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    return text;
}

CanFrame Parse(const std::string& text) {
    return ParseFrameText(text.data(), text.size());
}

// What every decoded frame satisfies, whatever the text was.
void CheckDecoded(const CanFrame& frame) {
    Require(frame.dlc <= 8, "a decoded DLC is above 8");
    if (!frame.extended) Require(frame.id <= 0xFFF, "an 11-bit line gave more than three digits");
    for (size_t i = 0; i < frame.data.size(); ++i)
        if (frame.remote || i >= frame.dlc) Require(frame.data[i] == 0, "a byte past the DLC");
}

// A frame that a line can carry: its ID within the kind's digits, no data past the DLC and none
// in a remote frame.
CanFrame ConsumeFrame(FuzzedDataProvider& in) {
    CanFrame frame;
    frame.extended = in.ConsumeBool();
    frame.remote = in.ConsumeBool();
    frame.id = in.ConsumeIntegral<uint32_t>() & (frame.extended ? 0xFFFFFFFFu : 0xFFFu);
    frame.dlc = in.ConsumeIntegralInRange<uint8_t>(0, 8);
    if (!frame.remote)
        for (size_t i = 0; i < frame.dlc; ++i) frame.data[i] = in.ConsumeIntegral<uint8_t>();
    return frame;
}

// A COM port layer whose received bytes are `wire` and whose every other answer comes from the
// input. Each read delivers at most the buffer, stops after a CR, and may end early as a
// time-out would; the count it reports may be off, as a layer whose count is not trusted.
class FakeSerPort final : public SerPortApi {
  public:
    FakeSerPort(FuzzedDataProvider& in, std::string wire) : in_(in), wire_(std::move(wire)) {}

    uint16_t OpenPort(uint16_t, uint32_t baud, uint8_t dataBits, uint8_t parity,
                      uint8_t stopBits) override {
        Require(dataBits == 8 && parity == 0 && stopBits == 0, "a port opened other than 8N1");
        Require(baud != 0, "a port opened at 0 baud");
        Require(!open_, "a port opened twice");
        const uint8_t choice = in_.ConsumeIntegral<uint8_t>();
        if (choice >= 0xC0) return static_cast<uint16_t>(1 + (choice & 0x07));
        open_ = true;
        return 0;
    }
    uint16_t WriteChars(uint16_t, const char* text, uint16_t length) override {
        written_.assign(text, length);
        return 0;
    }
    uint32_t CountReceived(uint16_t) override {
        if (in_.remaining_bytes() > 0 && in_.ConsumeIntegral<uint8_t>() == 0xFF)
            return in_.ConsumeIntegral<uint32_t>();
        return static_cast<uint32_t>(wire_.size() - at_);
    }
    uint16_t ReadLine(uint16_t, char* buffer, uint32_t timeoutMs, uint32_t,
                      uint16_t* countRead) override {
        Require(timeoutMs == kHandshakeTimeoutMs || timeoutMs == kFrameTextTimeoutMs,
                "a read with an unexpected time-out");
        const size_t limit = in_.remaining_bytes() > 0
                                 ? in_.ConsumeIntegralInRange<size_t>(0, kLineBufferSize)
                                 : size_t{kLineBufferSize};
        size_t count = 0;
        while (count < limit && at_ < wire_.size()) {
            const char c = wire_[at_++];
            buffer[count++] = c;
            if (c == '\r') break;
        }
        delivered_.assign(buffer, count);
        reported_ = static_cast<uint16_t>(count);
        if (in_.remaining_bytes() > 0 && in_.ConsumeIntegral<uint8_t>() == 0xFF)
            reported_ = in_.ConsumeIntegral<uint16_t>();
        if (countRead) *countRead = reported_;
        reads_.push_back(delivered_);
        return count > 0 && buffer[count - 1] == '\r' ? 0 : 9;
    }
    void ClosePort(uint16_t) override { open_ = false; }

    bool open() const { return open_; }
    const std::string& written() const { return written_; }
    const std::string& delivered() const { return delivered_; }
    uint16_t reported() const { return reported_; }
    const std::vector<std::string>& reads() const { return reads_; }

  private:
    FuzzedDataProvider& in_;
    std::string wire_;
    size_t at_ = 0;
    bool open_ = false;
    std::string written_;
    std::string delivered_;
    uint16_t reported_ = 0;
    std::vector<std::string> reads_;
};

// Time passes only by the sleeps, so that every wait of the exchange ends.
class NoWaitClock final : public Clock {
  public:
    void SleepMs(unsigned ms) override { now_ += ms; }
    uint64_t NowMs() override { return now_; }

  private:
    uint64_t now_ = 0;
};

class CountingSink final : public MessageSink {
  public:
    void Show(const std::string&, MessageIcon) override { ++shown; }
    int shown = 0;
};

class SerialLinks final : public LinkFactory {
  public:
    SerialLinks(SerPortApi& serial, Clock& clock) : serial_(serial), clock_(clock) {}
    std::unique_ptr<DeviceLink> MakeLink(DeviceKind kind, const LinkNumbers& numbers) override {
        return std::make_unique<SerialLink>(serial_, clock_, kind, numbers.devicePortNumber);
    }

  private:
    SerPortApi& serial_;
    Clock& clock_;
};

void CheckLine(const std::string& line) {
    for (size_t length = 0; length <= line.size(); ++length)
        CheckDecoded(ParseFrameText(line.data(), length));
    const CanFrame frame = Parse(line);
    // Whatever a line decodes to is written and read back as the same frame.
    Require(Parse(FormatFrameText(frame)) == frame, "a decoded frame does not survive a rewrite");
    Require(Parse(FormatFrameText(frame, true)) == frame, "lower-case digits read differently");
    if (WellFormed(line))
        Require(FormatFrameText(frame) == UpperDigits(line),
                "a well-formed line is not written back");
}

void CheckDecodeFrameText(FakeSerPort& port) {
    const CanFrame frame = DecodeFrameText(port, 1);
    // The frame of what arrived, read from a cleared buffer as far as the reported count goes.
    std::string buffer = port.delivered();
    buffer.resize(SerPortApi::kLineBufferSize, '\0');
    const size_t length = std::min<size_t>(port.reported(), SerPortApi::kLineBufferSize);
    Require(frame == ParseFrameText(buffer.data(), length), "DecodeFrameText read otherwise");
    CheckDecoded(frame);
}

void CheckHandshake(FakeSerPort& port) {
    const size_t readsBefore = port.reads().size();
    const bool passed = SerialHandshake(port, 1);
    // One buffer cleared once: a read that delivers nothing leaves the previous first character.
    char first = '\0';
    bool expected = true;
    size_t expectedReads = 0;
    for (size_t step = 0; step < 2 && expected; ++step) {
        ++expectedReads;
        const size_t index = readsBefore + step;
        Require(index < port.reads().size(), "the handshake read less than it should");
        if (!port.reads()[index].empty()) first = port.reads()[index][0];
        expected = first == '!';
    }
    Require(port.reads().size() - readsBefore == expectedReads, "the handshake read too much");
    Require(passed == expected, "the handshake decided otherwise");
    Require(port.written() == (expectedReads == 2 ? "S83\r" : "S\r"), "handshake texts");
}

void CheckExchange(FuzzedDataProvider& in, FakeSerPort& port, DeviceKind kind,
                   CommandKind command) {
    IdTable table;
    TableListReader reader(table);
    ExchangeInputs inputs;
    inputs.settings.deviceKind = kind;
    inputs.settings.devicePortIndex = in.ConsumeIntegral<uint8_t>();
    inputs.settings.modulePortIndex = in.ConsumeIntegralInRange<uint8_t>(0, 1);
    inputs.listStep = {in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint32_t>(),
                       in.ConsumeIntegral<uint32_t>()};
    inputs.optionValueText = in.ConsumeRandomLengthString(24);
    inputs.listReader = &reader;

    NoWaitClock clock;
    CountingSink sink;
    SerialLinks links(port, clock);
    const CommandResult result = ExchangeCommand(kind, command, inputs, {links, sink, clock});
    Require(!port.open(), "an exchange left its port open");
    Require(sink.shown <= 1, "an exchange showed more than one message");
    if (result != CommandResult::Ok) Require(sink.shown == 1, "a failed exchange said nothing");
    for (const IdRow& row : table.Rows()) Require(!row.type.empty(), "a read row has no type");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    CheckLine(in.ConsumeRandomLengthString(48));
    std::string wire = in.ConsumeRandomLengthString(512);
    // The input's last byte picks the command, the one before it the converter.
    const auto command = static_cast<CommandKind>(in.ConsumeIntegralInRange<int>(1, 14));
    static constexpr DeviceKind kSerialKinds[] = {DeviceKind::Scv1, DeviceKind::Ucv1,
                                                  DeviceKind::Ecv1d};
    const DeviceKind kind = in.PickValueInArray(kSerialKinds);

    const CanFrame frame = ConsumeFrame(in);
    Require(Parse(FormatFrameText(frame)) == frame, "a frame does not survive its line");
    Require(Parse(FormatFrameText(frame, true)) == frame, "a lower-case line reads differently");

    FakeSerPort port(in, std::move(wire));
    EncodeFrameText(port, 1, frame);
    Require(port.written() == FormatFrameText(frame), "EncodeFrameText sent another line");
    CheckExchange(in, port, kind, command);
    // Then the rest of what arrived, as a handshake's replies and as frame lines.
    CheckHandshake(port);
    const int decodes = in.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < decodes; ++i) CheckDecodeFrameText(port);
    return 0;
}
