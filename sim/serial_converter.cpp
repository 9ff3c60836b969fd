#include "sim/serial_converter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "link/serial/line_protocol.h"
#include "sim/wait.h"

namespace b6409::sim {

namespace {

constexpr int kPollTimeoutMs = 50;
// Longer than any line the protocol knows; anything beyond is noise and is thrown away.
constexpr size_t kMaxLineLength = 64;
// A client that stops reading must not wedge the converter: replies it leaves unread for this
// long are dropped.
constexpr unsigned kWriteGiveUpMs = 2000;

uint32_t SpeedToBaud(speed_t speed) {
    switch (speed) {
        case B50:
            return 50;
        case B75:
            return 75;
        case B110:
            return 110;
        case B134:
            return 134;
        case B150:
            return 150;
        case B200:
            return 200;
        case B300:
            return 300;
        case B600:
            return 600;
        case B1200:
            return 1200;
        case B1800:
            return 1800;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B500000:
            return 500000;
        case B576000:
            return 576000;
        case B921600:
            return 921600;
        case B1000000:
            return 1000000;
        case B1152000:
            return 1152000;
        case B1500000:
            return 1500000;
        case B2000000:
            return 2000000;
        default:
            return 0;
    }
}

// Any rate the terminal can be set to; an SCV-1 may be configured off the utility's list.
speed_t BaudToSpeed(uint32_t baud) {
    for (speed_t speed :
         {B50,     B75,     B110,    B134,    B150,     B200,     B300,     B600,    B1200,
          B1800,   B2400,   B4800,   B9600,   B19200,   B38400,   B57600,   B115200, B230400,
          B460800, B500000, B576000, B921600, B1000000, B1152000, B1500000, B2000000})
        if (SpeedToBaud(speed) == baud) return speed;
    return B115200;
}

uint32_t FixedRate(const ConverterConfig& config) {
    switch (config.kind) {
        case ConverterKind::Ucv1:
            return kUcv1BaudRate;
        case ConverterKind::Ecv1d:
            return kEcv1dBaudRate;
        case ConverterKind::Scv1:
            break;
    }
    return config.scv1Baud;
}

// The reply line of a frame, shaped by the serial-only faults.
std::string ReplyLine(const CanFrame& frame, const FaultPlan& faults) {
    std::string line = FormatFrameText(frame, faults.lowerCaseDigits);
    if (!faults.replyDlcDigit || frame.remote || frame.dlc != 8) return line;
    // Announce another DLC and carry as many data bytes as it says: ours, then filler.
    const size_t dlcAt = frame.extended ? 9 : 4;
    line[dlcAt] = faults.replyDlcDigit;
    const size_t dataDigits = 2 * size_t(HexDigitValue(faults.replyDlcDigit));
    line.pop_back();  // the CR
    line.resize(dlcAt + 1 + dataDigits, faults.lowerCaseDigits ? 'e' : 'E');
    return line + '\r';
}

bool AllHex(const std::string& text, size_t from) {
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

// A converter takes a frame line only when it has exactly the digits its DLC announces.
bool WellFormedFrameLine(const std::string& line) {
    const bool extended = line[0] == 'e' || line[0] == 'E';
    const bool remote = line[0] == 'T' || line[0] == 'E';
    const size_t dlcAt = extended ? 9 : 4;
    if (line.size() <= dlcAt || !AllHex(line, 1)) return false;
    const unsigned dlc = HexDigitValue(line[dlcAt]);
    if (dlc > 8) return false;
    return line.size() == dlcAt + 1 + (remote ? 0 : 2 * dlc);
}

// Set-up commands of generic line-protocol clients (open, close, bit rate, timestamps,
// acceptance masks ...). The converter's bus settings are fixed, so they are only
// acknowledged.
bool IsSetupCommand(const std::string& line) {
    if (line == "O" || line == "C" || line == "L") return true;
    if (line.size() == 2 && line[0] == 'S') return line[1] >= '0' && line[1] <= '8';
    static const std::string kWithArgument = "sZQXWMmU";
    return line.size() >= 2 && kWithArgument.find(line[0]) != std::string::npos && AllHex(line, 1);
}

}  // namespace

SerialConverterSim::SerialConverterSim(ConverterConfig config, ModuleSimulator& module)
    : config_(config), module_(module) {}

SerialConverterSim::~SerialConverterSim() {
    Stop();
    if (slaveFd_ >= 0) close(slaveFd_);
    if (masterFd_ >= 0) close(masterFd_);
}

bool SerialConverterSim::OpenPty(std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        if (slaveFd_ >= 0) close(slaveFd_);
        if (masterFd_ >= 0) close(masterFd_);
        slaveFd_ = masterFd_ = -1;
        return false;
    };
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0) return fail("posix_openpt");
    if (grantpt(masterFd_) != 0) return fail("grantpt");
    if (unlockpt(masterFd_) != 0) return fail("unlockpt");
    char name[PATH_MAX] = {};
    if (ptsname_r(masterFd_, name, sizeof name) != 0) return fail("ptsname");
    slavePath_ = name;
    slaveFd_ = open(name, O_RDWR | O_NOCTTY);
    if (slaveFd_ < 0) return fail("open slave");

    // Raw from the start: a client that does not set the terminal up itself must not get our
    // CRs turned into newlines or its own lines echoed back at it.
    termios settings{};
    if (tcgetattr(slaveFd_, &settings) != 0) return fail("tcgetattr");
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    const speed_t speed = BaudToSpeed(FixedRate(config_));
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (tcsetattr(slaveFd_, TCSANOW, &settings) != 0) return fail("tcsetattr");

    // Writes must never block: with no client reading, the terminal's buffer fills up.
    const int flags = fcntl(masterFd_, F_GETFL);
    if (flags < 0 || fcntl(masterFd_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    return true;
}

const std::string& SerialConverterSim::SlavePath() const {
    return slavePath_;
}

uint32_t SerialConverterSim::CurrentBaud() const {
    termios settings{};
    if (slaveFd_ < 0 || tcgetattr(slaveFd_, &settings) != 0) return 0;
    return SpeedToBaud(cfgetospeed(&settings));
}

void SerialConverterSim::Start() {
    if (thread_.joinable()) return;
    stopRequested_ = false;
    thread_ = std::thread([this] { Serve(stopRequested_); });
}

void SerialConverterSim::Stop() {
    stopRequested_ = true;
    if (thread_.joinable()) thread_.join();
}

void SerialConverterSim::Serve(const std::atomic<bool>& stop) {
    char buffer[256];
    while (!stop) {
        pollfd entry{masterFd_, POLLIN, 0};
        const int ready = poll(&entry, 1, kPollTimeoutMs);
        if (ready < 0 && errno != EINTR) {
            SleepUnlessStopped(kPollTimeoutMs, stop);
            continue;
        }
        if (ready == 0) ClearStaleExclusiveClaim();
        if (ready <= 0) continue;
        if (!(entry.revents & POLLIN)) {
            // Hang-up or error on the master: nothing to read until a client is back.
            SleepUnlessStopped(kPollTimeoutMs, stop);
            continue;
        }
        const ssize_t count = read(masterFd_, buffer, sizeof buffer);
        if (count > 0) {
            ProcessInput({masterFd_, false}, buffer, static_cast<size_t>(count), stop);
        } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
            SleepUnlessStopped(kPollTimeoutMs, stop);
        }
    }
}

void SerialConverterSim::ServeStream(int socket, const std::atomic<bool>& stop) {
    pending_.clear();  // a line the last client left unfinished is not this one's
    char buffer[256];
    while (!stop) {
        pollfd entry{socket, POLLIN, 0};
        const int ready = poll(&entry, 1, kPollTimeoutMs);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        const ssize_t count = read(socket, buffer, sizeof buffer);
        if (count == 0) return;  // the client has closed the connection
        if (count < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return;
        }
        if (!ProcessInput({socket, true}, buffer, static_cast<size_t>(count), stop)) return;
    }
}

std::vector<ReceivedLine> SerialConverterSim::LinesSeen() const {
    std::lock_guard lock(linesMutex_);
    return linesSeen_;
}

void SerialConverterSim::ClearStaleExclusiveClaim() {
    // A client that dies while it holds the port leaves its exclusive claim on the terminal,
    // and since we keep the slave open that claim would shut out every later client (unless
    // it runs as root). A real port drops it with its last close. The owner of a live claim
    // also holds the file lock; a claim without a lock holder is stale.
    int exclusive = 0;
    if (ioctl(slaveFd_, TIOCGEXCL, &exclusive) != 0 || !exclusive) return;
    if (flock(slaveFd_, LOCK_EX | LOCK_NB) != 0) return;
    ioctl(slaveFd_, TIOCNXCL);
    flock(slaveFd_, LOCK_UN);
}

bool SerialConverterSim::ProcessInput(Channel channel, const char* bytes, size_t count,
                                      const std::atomic<bool>& stop) {
    for (size_t i = 0; i < count && !stop; ++i) {
        const char c = bytes[i];
        if (c == '\n') continue;  // tolerate CR LF from terminal programs
        if (c != '\r') {
            pending_ += c;
            if (pending_.size() > kMaxLineLength) pending_.clear();
            continue;
        }
        const std::string line = std::move(pending_);
        pending_.clear();
        const uint32_t baud = channel.stream ? FixedRate(config_) : CurrentBaud();
        {
            std::lock_guard lock(linesMutex_);
            linesSeen_.push_back({line, baud});
        }
        const bool request = !line.empty() && std::strchr("tTeE", line[0]) != nullptr;
        if (channel.stream && request && ++streamRequests_ == module_.Faults().hangUpAtRequest)
            return false;
        for (const TimedText& reply : HandleLine(line, baud)) {
            if (!SleepUnlessStopped(reply.delayBeforeMs, stop)) return true;
            WriteAll(channel, reply.text, stop);
        }
    }
    return true;
}

void SerialConverterSim::WriteAll(Channel channel, const std::string& text,
                                  const std::atomic<bool>& stop) {
    size_t done = 0;
    unsigned waitedMs = 0;
    while (done < text.size() && !stop && waitedMs < kWriteGiveUpMs) {
        // A client gone from a connection must not end the simulator.
        const ssize_t written =
            channel.stream ? send(channel.fd, text.data() + done, text.size() - done, MSG_NOSIGNAL)
                           : write(channel.fd, text.data() + done, text.size() - done);
        if (written < 0 && channel.stream && errno != EAGAIN && errno != EINTR) return;
        if (written > 0) {
            done += static_cast<size_t>(written);
            waitedMs = 0;
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        pollfd entry{channel.fd, POLLOUT, 0};
        poll(&entry, 1, kPollTimeoutMs);
        waitedMs += kPollTimeoutMs;
    }
}

std::vector<TimedText> SerialConverterSim::HandleLine(const std::string& line,
                                                      uint32_t currentBaud) {
    // At any other rate the SCV-1 would receive line noise, never a command.
    if (config_.kind == ConverterKind::Scv1 && currentBaud != config_.scv1Baud) return {};
    if (line.empty()) return {};
    if (line == "S" || line == "S83") return {{"!\r", 0}};

    const char kind = line[0];
    if (kind == 't' || kind == 'T' || kind == 'e' || kind == 'E') {
        if (!WellFormedFrameLine(line)) return {{"\a", 0}};
        // The converter never acknowledges a sent frame with a line of its own: the utility
        // takes the first line after its request as the module's reply.
        const FaultPlan faults = module_.Faults();
        const std::vector<TimedFrame> frames =
            module_.Handle(ParseFrameText(line.data(), line.size()));
        if (frames.empty()) return {};
        if (!faults.replyText.empty()) return {{faults.replyText, frames.front().delayBeforeMs}};
        if (faults.nonFrameReply) return {{"?\r", frames.front().delayBeforeMs}};
        std::vector<TimedText> replies;
        replies.reserve(frames.size());
        for (const TimedFrame& timed : frames)
            replies.push_back({ReplyLine(timed.frame, faults), timed.delayBeforeMs});
        return replies;
    }

    if (line == "V" || line == "v") return {{line + "0105\r", 0}};
    if (line == "N") return {{"N6409\r", 0}};
    if (line == "F") return {{"F00\r", 0}};
    if (IsSetupCommand(line)) return {{"\r", 0}};
    return {{"\a", 0}};
}

}  // namespace b6409::sim
