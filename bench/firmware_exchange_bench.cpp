// N firmware exchanges through the simulated SCV-1 on a pseudo-terminal, each a full
// open-handshake-send-poll-receive-close cycle, against the pacing floor of 100 ms per exchange.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/serial_link.h"
#include "link/termios_ser_port.h"
#include "protocol/exchange.h"
#include "sim/module_simulator.h"
#include "sim/serial_converter.h"

namespace {

class CountingSink : public b6409::MessageSink {
  public:
    void Show(const std::string& text, b6409::MessageIcon) override {
        if (text.rfind("FW_Ver", 0) == 0) ++ok;
    }
    int ok = 0;
};

class SerialFactory : public b6409::LinkFactory {
  public:
    SerialFactory(b6409::SerPortApi& serial, b6409::Clock& clock)
        : serial_(serial), clock_(clock) {}
    std::unique_ptr<b6409::DeviceLink> MakeLink(b6409::DeviceKind kind,
                                                const b6409::LinkNumbers& numbers) override {
        return std::make_unique<b6409::SerialLink>(serial_, clock_, kind, numbers.devicePortNumber);
    }

  private:
    b6409::SerPortApi& serial_;
    b6409::Clock& clock_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace b6409;
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;

    sim::ModuleSimulator module;
    sim::SerialConverterSim converter({sim::ConverterKind::Scv1, 115200}, module);
    std::string error;
    if (!converter.OpenPty(&error)) {
        std::fprintf(stderr, "cannot open a pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    converter.Start();

    SystemClock clock;
    const std::string path = converter.SlavePath();
    TermiosSerPort serial([path](uint16_t) { return path; });
    SerialFactory links(serial, clock);
    CountingSink sink;
    ExchangeInputs inputs;

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        ExchangeCommand(DeviceKind::Scv1, CommandKind::GetModuleInfo, inputs, {links, sink, clock});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    converter.Stop();

    const double floor = count * 0.1;
    std::printf("firmware exchanges via SCV-1 simulator\t%d\t%.3f s\t%.3f x floor\t%d ok\n", count,
                seconds, seconds / floor, sink.ok);
    return sink.ok == count ? 0 : 1;
}
