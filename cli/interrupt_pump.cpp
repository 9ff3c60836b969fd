#include "cli/interrupt_pump.h"

#include <csignal>

namespace b6409 {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void NoteInterrupt(int) {
    interrupted = 1;
}

}  // namespace

InterruptPump::InterruptPump() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
}

InterruptPump::~InterruptPump() {
    sigaction(SIGINT, &previous_, nullptr);
}

int InterruptPump::PumpWaitingMessages() {
    return interrupted ? 0 : 1;
}

}  // namespace b6409
