#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace b6409::test {

// A pseudo-terminal whose master end the test plays: the far side of a serial port.
class PtyPair {
  public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slavePath_ = ptsname(master_);
        termios settings{};
        tcgetattr(master_, &settings);
        cfmakeraw(&settings);
        tcsetattr(master_, TCSANOW, &settings);
    }
    ~PtyPair() {
        if (master_ >= 0) close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && !slavePath_.empty(); }
    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    void Write(const std::string& text) const { (void)!write(master_, text.data(), text.size()); }

    // What the port's owner wrote, waiting up to timeoutMs for the first byte.
    std::string Read(int timeoutMs = 1000) const {
        std::string text;
        pollfd waiter{master_, POLLIN, 0};
        while (poll(&waiter, 1, text.empty() ? timeoutMs : 50) > 0) {
            char buffer[256];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

    speed_t Speed() const {
        termios settings{};
        tcgetattr(master_, &settings);
        return cfgetospeed(&settings);
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace b6409::test
