#pragma once

// A simulated converter and module on a real pseudo-terminal, and the system's links to it.
#include <gtest/gtest.h>

#include <memory>

#include "common/progress.h"
#include "link/serial/termios_ser_port.h"
#include "link/system_link_factory.h"
#include "protocol/exchange.h"
#include "sim/module_simulator.h"
#include "sim/serial_converter.h"
#include "support/recorders.h"

namespace b6409 {

// Waits for real (the simulator runs in real time) and remembers each wait.
class RealRecordingClock : public Clock {
  public:
    void SleepMs(unsigned ms) override {
        sleeps.push_back(ms);
        real.SleepMs(ms);
    }
    uint64_t NowMs() override { return real.NowMs(); }
    std::vector<unsigned> sleeps;

  private:
    SystemClock real;
};

// A list download's progress bar and event pump, for tests that look at neither.
class SerialSimulatorTest : public ::testing::Test {
  protected:
    void Start(sim::ConverterConfig config = {}, sim::FaultPlan faults = {}) {
        module = std::make_unique<sim::ModuleSimulator>(faults);
        converter = std::make_unique<sim::SerialConverterSim>(config, *module);
        std::string error;
        ASSERT_TRUE(converter->OpenPty(&error)) << error;
        converter->Start();
        const std::string path = converter->SlavePath();
        links = std::make_unique<SystemLinkFactory>(clock, [path](uint16_t) { return path; });
    }
    void TearDown() override {
        links.reset();
        if (converter) converter->Stop();
    }

    CommandResult Run(CommandKind command, std::string value = "", int modulePort = 1,
                      DeviceKind kind = DeviceKind::Scv1) {
        ExchangeInputs inputs;
        inputs.settings.ChooseDeviceKind(kind);
        inputs.settings.modulePortIndex = static_cast<uint8_t>(modulePort - 1);
        inputs.optionValueText = std::move(value);
        clock.sleeps.clear();
        return ExchangeCommand(kind, command, inputs, {*links, sink, clock, pacing});
    }

    // The port is free again: another program can take it.
    bool PortIsFree() { return PortIsFree(converter->SlavePath()); }
    static bool PortIsFree(const std::string& path) {
        TermiosSerPort other([path](uint16_t) { return path; });
        const bool free = other.OpenPort(1, 115200, 8, 0, 0) == 0;
        other.ClosePort(1);
        return free;
    }

    RealRecordingClock clock;
    Pacing pacing = Pacing::Fixed;
    test::RecordingSink sink;
    std::unique_ptr<sim::ModuleSimulator> module;
    std::unique_ptr<sim::SerialConverterSim> converter;
    std::unique_ptr<SystemLinkFactory> links;
};

}  // namespace b6409
