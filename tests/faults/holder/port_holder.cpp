// Another program holding a serial port: takes the port the way the utility's serial layer
// does (file lock and exclusive claim), says "held" on stdout, and keeps it until its standard
// input closes.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "link/serial/termios_ser_port.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: b6409_port_holder PATH\n");
        return 2;
    }
    const std::string path = argv[1];
    b6409::TermiosSerPort serial([path](uint16_t) { return path; });
    if (const uint16_t code = serial.OpenPort(1, 115200, 8, 0, 0); code != 0) {
        std::printf("open failed (%u)\n", static_cast<unsigned>(code));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char c;
    while (read(STDIN_FILENO, &c, 1) > 0) {
    }
    serial.ClosePort(1);
    return 0;
}
