#include "link/serial/line_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>

#include "link/serial/serial_link.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

CanFrame Parse(const std::string& text) {
    return ParseFrameText(text.data(), text.size());
}

TEST(FrameText, RequestLinesAreTwentyTwoUpperCaseCharacters) {
    CanFrame request;
    request.id = 0x001;
    request.dlc = 8;
    EXPECT_EQ(FormatFrameText(request), "t0018" + std::string(16, '0') + "\r");

    request.id = 0x105;
    request.SetDataLow(0x014D0053);
    const std::string line = FormatFrameText(request);
    EXPECT_EQ(line, "t105853004D0100000000\r");
    EXPECT_EQ(line.size(), 22u);
}

TEST(FrameText, EncodesRemoteAndExtendedFrames) {
    CanFrame frame;
    frame.id = 0x1ABCDEF0;
    frame.extended = true;
    frame.dlc = 2;
    frame.data[0] = 0xA5;
    frame.data[1] = 0x0F;
    EXPECT_EQ(FormatFrameText(frame), "e1ABCDEF02A50F\r");
    EXPECT_EQ(FormatFrameText(frame, true), "e1abcdef02a50f\r");
    frame.remote = true;
    EXPECT_EQ(FormatFrameText(frame), "E1ABCDEF02\r");
    frame.extended = false;
    frame.id = 0x7FF;
    EXPECT_EQ(FormatFrameText(frame), "T7FF2\r");
}

TEST(FrameText, DecodesDigitsOfEitherCaseAlike) {
    const CanFrame upper = Parse("t4018AB010000000000FF\r");
    const CanFrame lower = Parse("t4018ab010000000000ff\r");
    EXPECT_EQ(upper, lower);
    EXPECT_EQ(upper.id, 0x401u);
    EXPECT_EQ(upper.dlc, 8);
    EXPECT_EQ(upper.data[0], 0xAB);
    EXPECT_EQ(upper.data[1], 0x01);
    EXPECT_EQ(upper.data[7], 0xFF);
    EXPECT_FALSE(upper.extended);
    EXPECT_FALSE(upper.remote);
}

TEST(FrameText, DecodesEveryFrameForm) {
    const CanFrame remote = Parse("T1233\r");
    EXPECT_TRUE(remote.remote);
    EXPECT_EQ(remote.id, 0x123u);
    EXPECT_EQ(remote.dlc, 3);
    EXPECT_EQ(remote.DataLow(), 0u);

    const CanFrame extended = Parse("e12345678201FF\r");
    EXPECT_TRUE(extended.extended);
    EXPECT_EQ(extended.id, 0x12345678u);
    EXPECT_EQ(extended.Word(0), 0xFF01);

    const CanFrame extendedRemote = Parse("E000000010\r");
    EXPECT_TRUE(extendedRemote.extended && extendedRemote.remote);
    EXPECT_EQ(extendedRemote.id, 1u);

    // Whatever it encodes decodes back.
    EXPECT_EQ(Parse(FormatFrameText(extended)), extended);
}

TEST(FrameText, ANonFrameLineIsTheAllZeroFrame) {
    for (const std::string line : {"!\r", "Z\r", "\r", "", "x4018\r", "hello"}) {
        EXPECT_EQ(Parse(line), CanFrame{}) << line;
    }
}

TEST(FrameText, ALargeDlcDigitNeverReadsPastTheTextOrEightBytes) {
    // DLC F announces fifteen bytes; only the eight the frame holds are taken.
    const std::string line = "t401F0102030405060708" + std::string(14, '9') + "\r";
    const CanFrame frame = Parse(line);
    EXPECT_EQ(frame.dlc, 8);
    EXPECT_EQ(frame.data[7], 0x08);

    // A short text: the missing digits count as zero instead of reading beyond the buffer.
    const CanFrame shortFrame = Parse("t4019AB");
    EXPECT_EQ(shortFrame.dlc, 8);
    EXPECT_EQ(shortFrame.data[0], 0xAB);
    EXPECT_EQ(shortFrame.data[1], 0x00);
}

// A serial layer that plays a converter answering only at one baud rate.
class ScriptedSerial : public SerPortApi {
  public:
    uint32_t answersAt = 9600;
    std::deque<std::string> pending;
    std::vector<std::string> calls;
    uint32_t openBaud = 0;
    bool answerSecondHandshake = true;

    uint16_t OpenPort(uint16_t port, uint32_t baud, uint8_t, uint8_t, uint8_t) override {
        calls.push_back("open " + std::to_string(port) + " " + std::to_string(baud));
        openBaud = baud;
        return 0;
    }
    uint16_t WriteChars(uint16_t, const char* text, uint16_t length) override {
        const std::string line(text, length);
        calls.push_back("write " + line.substr(0, line.size() - 1));
        if (openBaud != answersAt) return 0;
        if (line == "S\r" || (line == "S83\r" && answerSecondHandshake)) pending.push_back("!\r");
        return 0;
    }
    uint32_t CountReceived(uint16_t) override { return pending.empty() ? 0 : 1; }
    uint16_t ReadLine(uint16_t, char* buffer, uint32_t timeoutMs, uint32_t,
                      uint16_t* count) override {
        calls.push_back("read " + std::to_string(timeoutMs));
        *count = 0;
        if (pending.empty()) return serial_timeout;
        std::memcpy(buffer, pending.front().data(), pending.front().size());
        *count = static_cast<uint16_t>(pending.front().size());
        pending.pop_front();
        return 0;
    }
    void ClosePort(uint16_t port) override { calls.push_back("close " + std::to_string(port)); }

    static constexpr uint16_t serial_timeout = 9;
};

TEST(Scv1Search, FindsAConverterAtTheSecondRateAfterOneFailedHandshake) {
    ScriptedSerial serial;
    test::RecordingClock clock;
    SerialLink link(serial, clock, DeviceKind::Scv1, 3);
    EXPECT_FALSE(link.Open().has_value());
    const std::vector<std::string> expected = {
        "open 3 115200", "write S",  "read 500",  "close 3",  "open 3 9600",
        "write S",       "read 500", "write S83", "read 500",
    };
    EXPECT_EQ(serial.calls, expected);
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>{100});
}

TEST(Scv1Search, ASilentSecondReplyStillPassesOnTheFirstReplysMark) {
    ScriptedSerial serial;
    serial.answersAt = 115200;
    serial.answerSecondHandshake = false;
    test::RecordingClock clock;
    SerialLink link(serial, clock, DeviceKind::Scv1, 1);
    EXPECT_FALSE(link.Open().has_value());
}

TEST(Scv1Search, EveryRateFailingReportsTheLastCode) {
    ScriptedSerial serial;
    serial.answersAt = 0;
    test::RecordingClock clock;
    SerialLink link(serial, clock, DeviceKind::Scv1, 1);
    const auto failure = link.Open();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->message, "Device Open Fail !! (ErrCode:1)");
    EXPECT_EQ(clock.sleeps.size(), 8u);
    // The rates in their fixed order.
    std::vector<std::string> opens;
    for (const auto& call : serial.calls)
        if (call.rfind("open", 0) == 0) opens.push_back(call.substr(7));
    EXPECT_EQ(opens, (std::vector<std::string>{"115200", "9600", "57600", "38400", "19200", "4800",
                                               "1200", "2400"}));
}

TEST(SerialConverters, UcvAndEcvOpenAtTheirFixedRatesWithoutHandshake) {
    ScriptedSerial serial;
    test::RecordingClock clock;
    SerialLink ucv(serial, clock, DeviceKind::Ucv1, 2);
    EXPECT_FALSE(ucv.Open().has_value());
    SerialLink ecv(serial, clock, DeviceKind::Ecv1d, 2);
    EXPECT_FALSE(ecv.Open().has_value());
    EXPECT_EQ(serial.calls, (std::vector<std::string>{"open 2 921600", "open 2 115200"}));
}

}  // namespace
}  // namespace b6409
