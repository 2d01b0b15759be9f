// The fault soak's plans: a camera with one random fault, serving a few sessions, each with a random image; and
// for each session what it must do, worked out from the protocol's rules for the reply the fault hits (if the
// session gets that far: a fault at fragment 3 never hits an image of two fragments).
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum class FaultKind { None, Split, Deny, Code, Fail, Close, CloseAfter, Reset, ResetAfter, Silent };

const char* KindName(FaultKind kind);

// Where in the conversation a reply stands.
struct ReplyPoint {
    enum class Where { Login, Header, Piece, Final, Flash, Done };
    Where where = Where::Login;
    std::size_t index = 0; // Piece: the full fragment; Flash: the report, counting from 0
};

struct CameraFault {
    FaultKind kind = FaultKind::None;
    ReplyPoint point;
    std::string action;   // as camera-sim takes it after the step, empty for none
    int code = 0;         // Code: what the session reads from the status field
    std::string reason;   // Fail
    std::size_t bytes = 0; // CloseAfter: bytes of the reply before the close
    int flashSteps = 0;

    std::string Step() const; // as camera-sim names it
    std::vector<std::string> SimFlags() const;
    std::string Describe() const;
};

struct SessionPlan {
    std::string image;      // the firmware file's bytes
    int refusalsBefore = 0; // what earlier sessions left in the front end's refusal count

    bool faultHit = false;
    std::vector<std::string> shape; // messages, buttons, finish and refusal counting, in order
    bool completed = false;         // ended with "Firmware upgrade completed"
    bool stopped = false;           // a silent camera: only the stop request ends the session
    std::size_t sentBeforeFault = 0; // what the client has sent and received when it waits for the faulted reply
    std::size_t receivedBeforeFault = 0;
    std::size_t sentInAll = 0;       // what the client sends in the whole session; never more
    bool cameraEndsWithFault = false; // the camera's log line for the session names the fault as its end

    std::string Describe() const;
};

// Everything drawn from rng; the same rng state gives the same plans.
CameraFault DrawCameraFault(std::mt19937_64& rng);
SessionPlan DrawSession(std::mt19937_64& rng, const CameraFault& fault);
