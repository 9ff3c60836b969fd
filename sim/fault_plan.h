#pragma once

#include <cstdint>
#include <string>

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
    std::string replyText;         // serial only: when set, answer each request with exactly
                                   // these bytes (give them their own CR) instead of its frames
    char replyDlcDigit = 0;        // serial only: when set (e.g. 'F'), reply lines of 8 data
                                   // bytes announce this DLC digit instead and carry as many data
                                   // bytes as it says: the frame's eight, then 0xEE filler
    // The n-th frame the module sends (1-based, over its life; each entry frame of a read
    // counts) comes only after a pause of pauseBeforeFrameMs; 0 = never.
    int pauseBeforeFrame = 0;
    unsigned pauseBeforeFrameMs = 0;
    // TCP only: the converter closes the client's connection when the n-th request line (1-based,
    // over its life) arrives, without passing it on; 0 = never.
    int hangUpAtRequest = 0;
};

}  // namespace b6409::sim
