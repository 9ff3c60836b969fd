// N firmware exchanges through the simulated SCV-1 on a pseudo-terminal, each a full
// open-handshake-send-poll-receive-close cycle, against the pacing floor of 100 ms per exchange.
#include <chrono>

#include "bench/simulated_scv1.h"
#include "protocol/exchange.h"

int main(int argc, char** argv) {
    using namespace b6409;
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    bench::SimulatedScv1 scv1;
    bench::CountingSink sink("FW_Ver");
    ExchangeInputs inputs;

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        ExchangeCommand(DeviceKind::Scv1, CommandKind::GetModuleInfo, inputs,
                        {scv1.links(), sink, scv1.clock()});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("firmware exchanges, SCV-1 simulator\t%d exchanges\t%.3f s\t%.3f x floor\t%s\n",
                count, seconds, seconds / (count * 0.1), sink.matches == count ? "ok" : "FAILED");
    return sink.matches == count ? 0 : 1;
}
