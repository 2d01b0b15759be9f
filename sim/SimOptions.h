// The command line of camera-sim.
#pragma once

#include "FaultPlan.h"

#include <cstdint>
#include <string>

constexpr std::uint16_t kDefaultSimPort = 9000;
constexpr long kUnlimitedSessions = -1;

struct SimOptions {
    std::string listenAddress = "127.0.0.1";
    std::uint16_t listenPort = kDefaultSimPort;
    long sessions = kUnlimitedSessions;
    std::string adminId = "admin";
    std::string password = "tovel";
    int flashSteps = 4;        // position reports per flash stage after its first one
    int flashDelayMs = 20;     // pause before each flash report
    int ackDelayMs = 0;        // pause before each acknowledgement of an image piece: a slow camera
    int idleTimeoutMs = 10000; // longest wait for the client's next byte
    std::string saveDir;       // empty: images are not kept
    FaultPlan faults;
    bool help = false;
};

struct SimParse {
    SimOptions options;
    std::string error; // a usage error when not empty
};

SimParse ParseSimCommandLine(int argc, const char* const* argv);
std::string SimHelpText();
