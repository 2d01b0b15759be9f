// One conversation of the simulated camera with an upgrade client, from the credentials to the verdict.
#pragma once

#include "Connection.h"
#include "SimOptions.h"

#include <string>

// What the session's log line says.
struct SessionSummary {
    long number = 0;
    std::string peer;
    std::string tag = "-";
    std::string length = "-";
    std::string checksum = "-"; // ok, mismatch, or - when the image did not arrive whole
    std::string result;
    std::string saved;          // ImageSink's note

    std::string LogLine() const;
};

SessionSummary ServeCameraSession(Connection& connection, const SimOptions& options, long number,
                                  const std::string& peer);
