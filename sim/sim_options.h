#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/serial/tcp_address.h"
#include "sim/fault_plan.h"
#include "sim/serial_converter.h"

namespace b6409::sim {

// The command line of b6409-sim.
struct SimOptions {
    ConverterConfig converter;
    FaultPlan faults;
    uint8_t fwMajor = 1;
    uint8_t fwMinor = 0x05;
    std::string linkPath;                     // symlink to the terminal, when asked for
    std::string canInterface;                 // serve on this CAN interface instead of a terminal
    std::optional<TcpAddress> listenAddress;  // serve the converter over TCP instead
    bool trace = false;                       // print each request the module receives
    bool help = false;
};

// Reads the arguments after the program name. Returns false, with a message in *error, for a
// command line that must not start the simulator.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

std::string SimUsage();

}  // namespace b6409::sim
