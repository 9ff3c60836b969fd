#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/fault_plan.h"
#include "sim/serial_converter.h"

namespace b6409::sim {

// The command line of b6409-sim.
struct SimOptions {
    ConverterConfig converter;
    FaultPlan faults;
    uint8_t fwMajor = 1;
    uint8_t fwMinor = 0x05;
    std::string linkPath;      // symlink to the terminal, when asked for
    std::string canInterface;  // serve on this CAN interface instead of a terminal
    bool trace = false;        // print each request the module receives
    bool help = false;
};

// Reads the arguments after the program name. Returns false, with a message in *error, for a
// command line that must not start the simulator.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

std::string SimUsage();

}  // namespace b6409::sim
