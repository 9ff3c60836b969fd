#include "sim/serial_converter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace b6409::sim {
namespace {

const std::string kFirmwareRequest = "t0018" + std::string(16, '0');

std::vector<TimedText> Lines(std::initializer_list<const char*> texts) {
    std::vector<TimedText> result;
    for (const char* text : texts) result.push_back({text, 0});
    return result;
}

TEST(SerialConverterLineTest, Scv1HearsOnlyAtItsOwnRate) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Scv1, 9600}, module);
    EXPECT_EQ(converter.HandleLine("S", 9600), Lines({"!\r"}));
    EXPECT_EQ(converter.HandleLine("S83", 9600), Lines({"!\r"}));

    for (uint32_t other : {115200u, 57600u, 0u}) {
        EXPECT_TRUE(converter.HandleLine("S", other).empty()) << other;
        EXPECT_TRUE(converter.HandleLine("S83", other).empty()) << other;
        EXPECT_TRUE(converter.HandleLine(kFirmwareRequest, other).empty()) << other;
        EXPECT_TRUE(converter.HandleLine("O", other).empty()) << other;
    }
    EXPECT_EQ(module.Snapshot().requestsSeen, 0) << "nothing reached the bus";
}

TEST(SerialConverterLineTest, OtherConvertersAnswerAtAnyRate) {
    for (ConverterKind kind : {ConverterKind::Ucv1, ConverterKind::Ecv1d}) {
        ModuleSimulator module;
        SerialConverterSim converter({kind, 115200}, module);
        for (uint32_t rate : {921600u, 9600u, 38400u}) {
            EXPECT_EQ(converter.HandleLine("S", rate), Lines({"!\r"}));
            EXPECT_EQ(converter.HandleLine(kFirmwareRequest, rate),
                      Lines({"t40180501000000000000\r"}));
        }
    }
}

TEST(SerialConverterLineTest, SetUpCommandsAreAcknowledgedAndNoiseIsRefused) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Ucv1}, module);
    for (const char* command : {"O", "C", "L", "S0", "S4", "S8", "s031C", "Z0", "M00000000"})
        EXPECT_EQ(converter.HandleLine(command, 921600), Lines({"\r"})) << command;
    for (const char* noise : {"?", "S9", "hello", "Zx"})
        EXPECT_EQ(converter.HandleLine(noise, 921600), Lines({"\a"})) << noise;
    EXPECT_TRUE(converter.HandleLine("", 921600).empty());
}

TEST(SerialConverterLineTest, MalformedFrameLinesNeverReachTheModule) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Ucv1}, module);
    for (const std::string& bad : {std::string("t0018"), kFirmwareRequest + "0",
                                   std::string("t001") + "9" + std::string(18, '0'),
                                   std::string("t00G8") + std::string(16, '0'), std::string("T")})
        EXPECT_EQ(converter.HandleLine(bad, 921600), Lines({"\a"})) << bad;
    EXPECT_EQ(module.Snapshot().requestsSeen, 0);
}

TEST(SerialConverterLineTest, RepliesFollowTheFaultPlan) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Ucv1}, module);
    // 83.333 on CAN1: bytes 53 00 4D 01.
    EXPECT_EQ(converter.HandleLine("t105853004D0100000000", 921600),
              Lines({"t505853004D0100000000\r"}));

    FaultPlan faults;
    faults.lowerCaseDigits = true;
    module.SetFaults(faults);
    EXPECT_EQ(converter.HandleLine("t10680000000000000000", 921600),
              Lines({"t506853004d0100000000\r"}));

    faults.otherNodeFirst = true;
    module.SetFaults(faults);
    EXPECT_EQ(converter.HandleLine(kFirmwareRequest, 921600),
              Lines({"t3a580211223344556677\r", "t40180501000000000000\r"}));

    faults = FaultPlan{};
    faults.nonFrameReply = true;
    module.SetFaults(faults);
    const std::vector<TimedText> nonFrame = converter.HandleLine(kFirmwareRequest, 921600);
    ASSERT_EQ(nonFrame.size(), 1u);
    EXPECT_NE(nonFrame[0].text[0], 't');
    EXPECT_EQ(nonFrame[0].text.back(), '\r');

    faults = FaultPlan{};
    faults.silent = true;
    module.SetFaults(faults);
    EXPECT_TRUE(converter.HandleLine(kFirmwareRequest, 921600).empty());
}

TEST(SerialConverterLineTest, ListReadCarriesEntryPauses) {
    FaultPlan faults;
    faults.entryPauseMs = 25;
    ModuleSimulator module(faults);
    ModuleState state;
    state.ports[0].filter = {{0x11, 0x7E0, 0xFFFFFFFF}};
    module.SetState(state);
    SerialConverterSim converter({ConverterKind::Ecv1d}, module);
    const std::vector<TimedText> expected = {{"t503800001100E0070000\r", 25}, {"t503100\r", 25}};
    EXPECT_EQ(converter.HandleLine("t1038" + std::string(16, '0'), 115200), expected);
}

// --- one client on the real pseudo-terminal ---------------------------------------------

class PtyClient {
  public:
    bool Open(const std::string& path, speed_t speed) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) return false;
        termios settings{};
        if (tcgetattr(fd_, &settings) != 0) return false;
        cfmakeraw(&settings);
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
        return tcsetattr(fd_, TCSANOW, &settings) == 0;
    }
    ~PtyClient() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    bool Write(const std::string& text) {
        return write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // One CR-ended line; the generous limit only keeps a broken converter from hanging the run.
    std::string ReadLine() {
        std::string line;
        char c = 0;
        while (line.empty() || line.back() != '\r') {
            pollfd entry{fd_, POLLIN, 0};
            if (poll(&entry, 1, 10000) <= 0 || read(fd_, &c, 1) != 1) break;
            line += c;
        }
        return line;
    }

  private:
    int fd_ = -1;
};

TEST(SerialConverterPtyTest, HandshakeAndFirmwareRoundTripSurviveReconnects) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Scv1, 57600}, module);
    std::string error;
    ASSERT_TRUE(converter.OpenPty(&error)) << error;
    converter.Start();

    for (int client = 0; client < 2; ++client) {
        PtyClient port;
        ASSERT_TRUE(port.Open(converter.SlavePath(), B57600));
        ASSERT_TRUE(port.Write("S\r"));
        EXPECT_EQ(port.ReadLine(), "!\r");
        ASSERT_TRUE(port.Write("S83\r"));
        EXPECT_EQ(port.ReadLine(), "!\r");
        ASSERT_TRUE(port.Write(kFirmwareRequest + "\r"));
        EXPECT_EQ(port.ReadLine(), "t40180501000000000000\r");
    }
    converter.Stop();
    EXPECT_EQ(module.Snapshot().requestsSeen, 2);
}

TEST(SerialConverterPtyTest, RateIsReadFromTheClientsSettings) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Scv1, 9600}, module);
    std::string error;
    ASSERT_TRUE(converter.OpenPty(&error)) << error;
    PtyClient port;
    ASSERT_TRUE(port.Open(converter.SlavePath(), B38400));
    EXPECT_EQ(converter.CurrentBaud(), 38400u);
    port.Close();
    ASSERT_TRUE(port.Open(converter.SlavePath(), B1200));
    EXPECT_EQ(converter.CurrentBaud(), 1200u);
}

TEST(SerialConverterPtyTest, ClaimOfAClientThatDiedIsDropped) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Ucv1}, module);
    std::string error;
    ASSERT_TRUE(converter.OpenPty(&error)) << error;
    converter.Start();
    const int observer = open(converter.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(observer, 0);

    // The way the serial layer claims a port, then an exit that skips its release.
    const int client = open(converter.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(client, 0);
    ASSERT_EQ(flock(client, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(client, TIOCEXCL), 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(observer, TIOCGEXCL, &exclusive), 0);
    ASSERT_NE(exclusive, 0);
    close(client);

    // Without this a later client that is not root could never open the port again. The
    // limit only bounds a broken converter; the claim goes within one idle poll.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (exclusive && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ioctl(observer, TIOCGEXCL, &exclusive);
    }
    EXPECT_EQ(exclusive, 0);
    close(observer);
}

TEST(SerialConverterPtyTest, ClaimOfALiveClientIsKept) {
    ModuleSimulator module;
    SerialConverterSim converter({ConverterKind::Ucv1}, module);
    std::string error;
    ASSERT_TRUE(converter.OpenPty(&error)) << error;
    const int client = open(converter.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(client, 0);
    ASSERT_EQ(flock(client, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(client, TIOCEXCL), 0);

    converter.ClearStaleExclusiveClaim();
    int exclusive = 0;
    ASSERT_EQ(ioctl(client, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0) << "its owner still holds the lock";
    EXPECT_NE(flock(client, LOCK_EX | LOCK_NB), -1) << "and keeps holding it";
    close(client);
}

}  // namespace
}  // namespace b6409::sim
