// What a fleet run tells at its end: one report per camera, as a table or as JSON objects.
#pragma once

#include "TargetsFile.h"

#include <string>
#include <vector>

enum class CameraVerdict {
    NotStarted, // a stop came before its turn
    Completed,  // "Firmware upgrade completed"
    Failed,     // the camera reported the upgrade failed (code 34), usually with a reason
    Error,      // the session ended otherwise: no connection, refused login, a broken conversation
    Stopped,    // a stop request ended its session before any verdict
};

struct CameraReport {
    Target target;
    CameraVerdict verdict = CameraVerdict::NotStarted;
    std::vector<std::string> messages; // every message of its session, in order
    bool hasCameraReason = false;
    std::string cameraReason;          // the reason text of the camera's last code 34
    int failedLogins = 0;              // this camera's refused logins; no other camera's count towards it
    std::string phase;                 // the last status text its session set
    double seconds = 0;                // its session's duration
};

struct FleetSummary {
    std::size_t cameras = 0;
    std::size_t completed = 0, failed = 0, errors = 0, stopped = 0, notStarted = 0;
    int parallel = 0;
    double seconds = 0;
    int exitCode = 0;
    std::string stoppedBy; // "SIGINT", "SIGTERM", or empty
};

const char* VerdictName(CameraVerdict verdict);

FleetSummary Summarise(const std::vector<CameraReport>& reports);

// ADDRESS, VERDICT, TIME and REASON: the camera's own reason where it gave one, the session's last message
// for an error, the phase a stopped session was in. Control characters are shown as escapes, so one camera
// is always one line.
std::string FleetTable(const std::vector<CameraReport>& reports, const FleetSummary& summary);

// {"type":"camera",...} and {"type":"summary",...}, one line each.
std::string CameraJson(const CameraReport& report);
std::string SummaryJson(const FleetSummary& summary);
