// b6409-sim: a serial converter with a B-6409 module behind it, on a pseudo-terminal or a TCP
// socket (or the module alone on a CAN interface), for trying the utility without hardware.

#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "link/serial/line_protocol.h"
#include "sim/can_socket_server.h"
#include "sim/module_simulator.h"
#include "sim/serial_converter.h"
#include "sim/sim_options.h"
#include "sim/tcp_converter_server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int Fail(const std::string& message) {
    std::cerr << "b6409-sim: " << message << "\n";
    return 1;
}

int ServeCan(const std::string& interface, b6409::sim::ModuleSimulator& module) {
    const int fd = socket(PF_CAN, SOCK_RAW, CAN_RAW);
    if (fd < 0) return Fail(std::string("CAN socket: ") + std::strerror(errno));
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
    if (address.can_ifindex == 0) {
        close(fd);
        return Fail("no CAN interface '" + interface + "'");
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int saved = errno;
        close(fd);
        return Fail("bind " + interface + ": " + std::strerror(saved));
    }
    std::cout << interface << std::endl;
    b6409::sim::CanSocketModuleServer server(fd, module);
    server.Serve(g_stop);
    close(fd);
    return 0;
}

// Replaces an earlier symlink at path (a stale one from a run that was killed), but never
// anything else that happens to live there.
bool CreateLink(const std::string& path, const std::string& target, std::string* error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = path + " exists and is not a symlink";
            return false;
        }
        unlink(path.c_str());
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        *error = "symlink " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void RemoveLink(const std::string& path, const std::string& target) {
    char pointsTo[4096];
    const ssize_t length = readlink(path.c_str(), pointsTo, sizeof pointsTo - 1);
    if (length > 0 && std::string(pointsTo, static_cast<size_t>(length)) == target)
        unlink(path.c_str());
}

int ServePty(const b6409::sim::SimOptions& options, b6409::sim::ModuleSimulator& module) {
    b6409::sim::SerialConverterSim converter(options.converter, module);
    std::string error;
    if (!converter.OpenPty(&error)) return Fail(error);
    const std::string& slave = converter.SlavePath();
    if (!options.linkPath.empty() && !CreateLink(options.linkPath, slave, &error))
        return Fail(error);
    std::cout << slave << std::endl;
    converter.Serve(g_stop);
    if (!options.linkPath.empty()) RemoveLink(options.linkPath, slave);
    return 0;
}

int ServeTcp(const b6409::sim::SimOptions& options, b6409::sim::ModuleSimulator& module) {
    b6409::sim::SerialConverterSim converter(options.converter, module);
    b6409::sim::TcpConverterServer server(converter);
    std::string error;
    if (!server.Listen(*options.listenAddress, &error)) return Fail(error);
    std::cout << server.Url() << std::endl;
    server.Serve(g_stop);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    b6409::sim::SimOptions options;
    std::string error;
    if (!b6409::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), &options,
                                     &error)) {
        std::cerr << "b6409-sim: " << error << "\n(see b6409-sim --help)\n";
        return 2;
    }
    if (options.help) {
        std::cout << b6409::sim::SimUsage();
        return 0;
    }
    InstallSignalHandlers();

    b6409::sim::ModuleSimulator module(options.faults);
    b6409::sim::ModuleState state;
    state.fwMajor = options.fwMajor;
    state.fwMinor = options.fwMinor;
    module.SetState(state);
    if (options.trace) {
        // One line per request, after the path or interface name that a reader takes first.
        module.SetRequestObserver([](const b6409::CanFrame& request) {
            std::string line = b6409::FormatFrameText(request);
            line.pop_back();  // the CR
            std::cout << line << std::endl;
        });
    }

    if (options.listenAddress) return ServeTcp(options, module);
    return options.canInterface.empty() ? ServePty(options, module)
                                        : ServeCan(options.canInterface, module);
}
