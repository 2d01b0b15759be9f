// One session of the fault soak: a random image, a random camera fault at a random reply, and what the session
// must do about it, worked out from the protocol's rules for each reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct SoakPlan {
    enum class Kind { None, Split, Deny, Code, Fail, Close, CloseAfter, Reset, ResetAfter, Silent };

    Kind kind = Kind::None;
    std::string image;                 // the firmware file's bytes
    int flashSteps = 0;                // camera-sim --flash-steps
    std::vector<std::string> simFlags; // the fault (and flash steps) for camera-sim
    std::string fault;                 // STEP:ACTION as camera-sim takes it, empty for none
    int refusalsBefore = 0;            // what earlier sessions left in the front end's refusal count

    // What the session must do.
    std::vector<std::string> shape;    // messages, buttons, finish and refusal counting, in order
    bool completed = false;            // ended with "Firmware upgrade completed"
    bool stopped = false;              // a silent camera: only the stop request ends the session
    std::size_t sentBeforeFault = 0;   // what the client has sent when it waits for the faulted reply
    std::size_t receivedBeforeFault = 0;
    std::size_t sentInAll = 0;         // what the client sends in the whole session; never more
    bool cameraEndsWithFault = false;  // the camera's log line ends with "fault STEP:ACTION"

    std::string Describe() const;
};

const char* KindName(SoakPlan::Kind kind);

// Everything drawn from rng; the same rng state gives the same plan.
SoakPlan DrawSoakPlan(std::mt19937_64& rng);
