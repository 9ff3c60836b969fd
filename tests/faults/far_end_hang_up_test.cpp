// The far end of a serial port vanishing (a converter unplugged, a simulator killed): the
// terminal hangs up, and the serial layer must say so at once instead of waiting out its
// time-outs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "link/serial/termios_ser_port.h"

namespace b6409 {
namespace {

TEST(FarEndHangUp, APortWhoseFarEndIsGoneReportsErrorsAtOnce) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string path = ptsname(master);
    TermiosSerPort serial([path](uint16_t) { return path; });
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);

    close(master);
    EXPECT_EQ(serial.CountReceived(1), 0u);
    char buffer[SerPortApi::kLineBufferSize] = {'!'};
    uint16_t count = 99;
    // An error, not the time-out: the read noticed the hang-up rather than polling a terminal
    // that reports input it never delivers until the 3 s were up.
    EXPECT_EQ(serial.ReadLine(1, buffer, 3000, 0, &count), serial_error::kOsError);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(buffer[0], '!') << "the buffer keeps what it held";
    EXPECT_EQ(serial.WriteChars(1, "S\r", 2), serial_error::kOsError);

    // Closing the dead port is harmless. (Whether its path opens again is not asked: another
    // program may already have been given the same terminal number.)
    serial.ClosePort(1);
    serial.ClosePort(1);
}

// A converter reached over TCP that closes the connection in the middle of a line: the read
// ends with what came and an error, not the time-out, and writing to the closed connection
// fails instead of ending the program with SIGPIPE.
TEST(FarEndHangUp, ATcpPeerClosingMidLineIsAnErrorAtOnce) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    TermiosSerPort serial([url](uint16_t) { return url; });
    ASSERT_EQ(serial.OpenPort(1, 115200, 8, 0, 0), 0);
    const int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(write(peer, "t40", 3), 3);
    close(peer);

    char buffer[SerPortApi::kLineBufferSize] = {};
    uint16_t count = 0;
    EXPECT_EQ(serial.ReadLine(1, buffer, 3000, 0, &count), serial_error::kOsError);
    EXPECT_EQ(std::string(buffer, count), "t40");
    uint16_t written = 0;
    for (int i = 0; i < 5 && written == 0; ++i) written = serial.WriteChars(1, "t0018\r", 6);
    EXPECT_EQ(written, serial_error::kOsError);
    serial.ClosePort(1);
    close(listener);
}

}  // namespace
}  // namespace b6409
