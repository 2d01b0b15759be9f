// The operations a session performs on its front end, and the inputs it takes from it once, at its start.
#pragma once

#include "FirmwareImage.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// A snapshot of the operator's inputs, taken on the front end's own thread; the session never reads
// shared text afterwards.
struct UpgradeInputs {
    std::string adminId;
    std::string password;
    std::string port;                         // as typed; the session judges it
    std::array<std::uint8_t, 4> address{};    // leftmost field first, a blank field as 0
    std::string firmwarePath;
    // When set, the session uses this image instead of reading firmwarePath (many sessions, one image).
    std::shared_ptr<const FirmwareImage> preloadedImage;
};

class UpgradeDialogOps {
public:
    virtual ~UpgradeDialogOps() = default;

    // Copy the controls into the members and hand back a snapshot of them.
    virtual UpgradeInputs LoadInputs() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Show the members (the status text above all) in the controls.
    virtual void ShowMembers() = 0;
    virtual void SetProgressRange(std::uint32_t high) = 0;
    virtual void SetProgressPos(std::uint32_t pos) = 0;
    // Start first, then Exit.
    virtual void EnableButtons(bool enable) = 0;
    // The finish routine: enables Start, then Exit, and returns.
    virtual void FinishUpgrade() = 0;
    // Modal; returns once the operator has acknowledged it.
    virtual void ShowMessage(const std::string& text) = 0;
    // Counts one refused login and returns the new count, which outlives the session.
    virtual int CountRefusedLogin() = 0;
};
