#pragma once

#include <cstdint>

namespace b6409::sim {

// Misbehaviour the simulated module (and, for the serial-only items, the converter in front of
// it) can be told to show, so that the utility's failure paths can be exercised.
struct FaultPlan {
    bool silent = false;           // never answer any request
    int errorAtRequest = 0;        // the n-th request (1-based, over the module's life) gets an
                                   // error reply; 0 = never
    uint8_t errorCode = 1;         // byte 0 of that error reply
    unsigned entryPauseMs = 0;     // pause before each entry frame and the end frame of a read
    bool nonFrameReply = false;    // serial only: answer each request with a line that is no frame
    bool lowerCaseDigits = false;  // serial only: reply lines with lower-case hex digits
    bool otherNodeFirst = false;   // before each reply, a frame from another node on the bus
};

}  // namespace b6409::sim
