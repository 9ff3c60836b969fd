// The far end of a serial port vanishing (a converter unplugged, a simulator killed): the
// terminal hangs up, and the serial layer must say so at once instead of waiting out its
// time-outs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
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

}  // namespace
}  // namespace b6409
