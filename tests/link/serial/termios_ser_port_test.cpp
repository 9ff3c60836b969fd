#include "link/serial/termios_ser_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "link/system_link_factory.h"
#include "protocol/exchange.h"
#include "support/pty_pair.h"
#include "support/recorders.h"

namespace b6409 {
namespace {

class TermiosSerPortTest : public ::testing::Test {
  protected:
    test::PtyPair pty;
    TermiosSerPort serial{[this](uint16_t) { return pty.slavePath(); }};

    void SetUp() override { ASSERT_TRUE(pty.ok()); }

    std::string ReadLine(uint32_t timeoutMs = 500) {
        char buffer[SerPortApi::kLineBufferSize] = {};
        uint16_t count = 0;
        serial.ReadLine(1, buffer, timeoutMs, 0, &count);
        return std::string(buffer, count);
    }
};

TEST_F(TermiosSerPortTest, OpensAtTheRequestedRateAndWritesExactly) {
    ASSERT_EQ(serial.OpenPort(1, 9600, 8, 0, 0), 0);
    EXPECT_EQ(pty.Speed(), B9600);
    serial.ClosePort(1);
    ASSERT_EQ(serial.OpenPort(1, 921600, 8, 0, 0), 0);
    EXPECT_EQ(pty.Speed(), B921600);
    EXPECT_EQ(serial.WriteChars(1, "S\rXYZ", 2), 0);
    EXPECT_EQ(pty.Read(), "S\r");
}

TEST_F(TermiosSerPortTest, ReadsOneLineAndLeavesTheRestWaiting) {
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    pty.Write("t4012AB01\rT1230\r");
    EXPECT_EQ(ReadLine(), "t4012AB01\r");
    EXPECT_EQ(serial.CountReceived(1), 6u);
    EXPECT_EQ(ReadLine(), "T1230\r");
    EXPECT_EQ(serial.CountReceived(1), 0u);
}

TEST_F(TermiosSerPortTest, ATimedOutReadKeepsWhatArrivedAndTheBufferBeyondIt) {
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    pty.Write("t40");
    char buffer[SerPortApi::kLineBufferSize];
    std::fill(std::begin(buffer), std::end(buffer), '!');
    uint16_t count = 0;
    EXPECT_EQ(serial.ReadLine(1, buffer, 50, 0, &count), serial_error::kTimeout);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::string(buffer, 4), "t40!");
}

TEST_F(TermiosSerPortTest, AnOverlongLineKeepsItsStartAndDropsItsTail) {
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    pty.Write(std::string(40, 'A') + "\rT1230\r");
    EXPECT_EQ(ReadLine(), std::string(30, 'A'));
    EXPECT_EQ(ReadLine(), "T1230\r");  // the next line, not the tail of the long one
}

TEST_F(TermiosSerPortTest, InputFromBeforeTheOpenIsDiscarded) {
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    serial.ClosePort(1);
    pty.Write("t4018050100000000000000\r");  // a late reply to an earlier exchange
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    EXPECT_EQ(serial.CountReceived(1), 0u);
}

TEST_F(TermiosSerPortTest, APortHeldElsewhereCannotBeOpenedUntilReleased) {
    TermiosSerPort otherProgram([this](uint16_t) { return pty.slavePath(); });
    ASSERT_EQ(otherProgram.OpenPort(5, 115200, 8, 0, 0), 0);
    EXPECT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), serial_error::kPortInUse);
    otherProgram.ClosePort(5);
    EXPECT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    EXPECT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), serial_error::kPortInUse);  // already ours
}

// A reply-paced exchange wakes on the first bytes of the reply; the rest of the line, still on
// its way, is waited for rather than read as a cut-off frame.
TEST_F(TermiosSerPortTest, AReplyArrivingInPiecesIsReadWhole) {
    SystemClock clock;
    SystemLinkFactory links(clock, [this](uint16_t) { return pty.slavePath(); });
    std::thread converter([this] {
        if (pty.Read() != "t0018" + std::string(16, '0') + "\r") return;
        for (const char* piece : {"t40", "18050", "1000000000000\r"}) {
            pty.Write(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    test::RecordingSink sink;
    ExchangeInputs inputs;
    inputs.settings.ChooseDeviceKind(DeviceKind::Ucv1);
    EXPECT_EQ(ExchangeCommand(DeviceKind::Ucv1, CommandKind::GetModuleInfo, inputs,
                              {links, sink, clock, Pacing::Reply}),
              CommandResult::Ok);
    converter.join();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"FW_Ver = v1.05"});
    // A port that is not open cannot be waited on: the caller paces itself.
    EXPECT_FALSE(serial.WaitReceived(1, 10));
}

TEST(TermiosSerPort, RefusesWhatItCannotOpen) {
    TermiosSerPort serial([](uint16_t port) {
        return port == 1 ? std::string("/nonexistent/ttyX")
                         : std::string(port == 4 ? "/tmp" : "/dev/null");
    });
    EXPECT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), serial_error::kNoSuchPort);
    EXPECT_EQ(serial.OpenPort(2, 115200, 8, 0, 0), serial_error::kNotATerminal);
    EXPECT_EQ(serial.OpenPort(4, 115200, 8, 0, 0), serial_error::kNotATerminal);  // a folder
    EXPECT_EQ(serial.OpenPort(3, 12345, 8, 0, 0), serial_error::kBadBaudRate);
    EXPECT_EQ(serial.OpenPort(3, 9600, 7, 0, 0), serial_error::kBadArgument);
    // Closing and using what is not open is harmless.
    serial.ClosePort(1);
    serial.ClosePort(77);
    EXPECT_EQ(serial.CountReceived(1), 0u);
    EXPECT_EQ(serial.WriteChars(1, "x", 1), serial_error::kNotOpen);
}

TEST(ComPortPaths, EnvironmentOverridesTheDefaultDevice) {
    unsetenv("B6409_COM3");
    EXPECT_EQ(DefaultComPortPath(3), "/dev/ttyS2");
    EXPECT_EQ(DefaultComPortPath(256), "/dev/ttyS255");
    setenv("B6409_COM3", "/dev/ttyUSB0", 1);
    EXPECT_EQ(DefaultComPortPath(3), "/dev/ttyUSB0");
    unsetenv("B6409_COM3");
}

}  // namespace
}  // namespace b6409
