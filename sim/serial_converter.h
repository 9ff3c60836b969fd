#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/module_simulator.h"

namespace b6409::sim {

enum class ConverterKind { Scv1, Ucv1, Ecv1d };

struct ConverterConfig {
    ConverterKind kind = ConverterKind::Scv1;
    uint32_t scv1Baud = 115200;  // the one rate an SCV-1 listens at
};

// A line the converter received (CR stripped), with the terminal's rate at the time.
struct ReceivedLine {
    std::string text;
    uint32_t baud = 0;

    bool operator==(const ReceivedLine&) const = default;
};

// Bytes the converter writes back, after a pause.
struct TimedText {
    std::string text;
    unsigned delayBeforeMs = 0;

    bool operator==(const TimedText&) const = default;
};

// Plays a serial CAN converter on a pseudo-terminal (or, as an Ethernet converter does, on a TCP
// connection), with the module behind it on the bus.
// Lines end in CR. Frame lines go to the module and each frame it answers with comes back as
// one line; the handshake and the usual converter set-up commands are answered by the
// converter itself.
class SerialConverterSim {
  public:
    SerialConverterSim(ConverterConfig config, ModuleSimulator& module);
    ~SerialConverterSim();  // stops serving and closes the terminal

    SerialConverterSim(const SerialConverterSim&) = delete;
    SerialConverterSim& operator=(const SerialConverterSim&) = delete;

    // Opens the pseudo-terminal in raw mode. The converter holds a descriptor of the slave
    // side itself, so the terminal never hangs up while clients come and go, and so it can
    // read the baud rate a client has set.
    bool OpenPty(std::string* error);
    const std::string& SlavePath() const;

    void Start();  // serves in a background thread
    void Stop();
    // Serves until stop is set; polls with a short timeout so that a stop is noticed promptly.
    void Serve(const std::atomic<bool>& stop);
    // Serves one client on a connected socket until it closes the connection, stop is set, or
    // the hang-up fault strikes. A stream has no line rate: an SCV-1 answers as at its own.
    void ServeStream(int socket, const std::atomic<bool>& stop);

    // What the converter writes back for one received line (CR stripped) while the terminal
    // runs at currentBaud.
    std::vector<TimedText> HandleLine(const std::string& line, uint32_t currentBaud);

    // The terminal's current rate in bits per second (0 when unknown or not open).
    uint32_t CurrentBaud() const;

    // Every line received while serving, in order, at whatever rate it came.
    std::vector<ReceivedLine> LinesSeen() const;

    // Drops an exclusive claim on the terminal that no client holds any more (its owner died
    // before releasing it). The serving loop does this whenever it is idle.
    void ClearStaleExclusiveClaim();

  private:
    // Where the converter's serial side is: the terminal, or a client's connection.
    struct Channel {
        int fd;
        bool stream;
    };
    // False when the connection is to be dropped (the hang-up fault).
    bool ProcessInput(Channel channel, const char* bytes, size_t count,
                      const std::atomic<bool>& stop);
    void WriteAll(Channel channel, const std::string& text, const std::atomic<bool>& stop);

    ConverterConfig config_;
    ModuleSimulator& module_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    std::string slavePath_;
    std::string pending_;  // the line received so far
    mutable std::mutex linesMutex_;
    std::vector<ReceivedLine> linesSeen_;
    int streamRequests_ = 0;  // request lines received over TCP, for the hang-up fault
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
};

}  // namespace b6409::sim
