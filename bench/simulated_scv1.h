#pragma once

// A simulated SCV-1 with a module behind it on a pseudo-terminal, and the system's links to it,
// for benchmarks that run whole exchanges in real time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/counting_sink.h"
#include "link/system_link_factory.h"
#include "sim/module_simulator.h"
#include "sim/serial_converter.h"

namespace b6409::bench {

class SimulatedScv1 {
  public:
    SimulatedScv1() : converter_({sim::ConverterKind::Scv1, 115200}, module_) {
        std::string error;
        if (!converter_.OpenPty(&error)) {
            std::fprintf(stderr, "cannot open a pseudo-terminal: %s\n", error.c_str());
            std::exit(1);
        }
        converter_.Start();
        const std::string path = converter_.SlavePath();
        links_ = std::make_unique<SystemLinkFactory>(clock_, [path](uint16_t) { return path; });
    }
    ~SimulatedScv1() {
        links_.reset();
        converter_.Stop();
    }

    LinkFactory& links() { return *links_; }
    Clock& clock() { return clock_; }
    sim::ModuleSimulator& module() { return module_; }

  private:
    SystemClock clock_;
    sim::ModuleSimulator module_;
    sim::SerialConverterSim converter_;
    std::unique_ptr<SystemLinkFactory> links_;
};

}  // namespace b6409::bench
