// A front end for tests: it keeps every operation the session performs, in order, as readable lines.
#pragma once

#include "UpgradeDialogOps.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingDialog : public UpgradeDialogOps {
public:
    explicit RecordingDialog(UpgradeInputs inputs) : m_inputs(std::move(inputs)) {}

    UpgradeInputs LoadInputs() override;
    void SetStatusText(const std::string& text) override;
    void ShowMembers() override;
    void SetProgressRange(std::uint32_t high) override;
    void SetProgressPos(std::uint32_t pos) override;
    void EnableButtons(bool enable) override;
    void FinishUpgrade() override;
    void ShowMessage(const std::string& text) override;
    int CountRefusedLogin() override;

    std::vector<std::string> Calls() const;
    // Only the message lines, without their "message: " prefix.
    std::vector<std::string> Messages() const;
    // Only the lines that start with one of the prefixes.
    std::vector<std::string> CallsStartingWith(const std::vector<std::string>& prefixes) const;
    void ClearCalls();

    // Called (outside the lock) after each recorded operation, e.g. to request a stop at a chosen point.
    std::function<void(const std::string& call)> onCall;
    int failedLogins = 0;

private:
    void Record(const std::string& line);

    UpgradeInputs m_inputs;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

// The inputs of a session against 127.0.0.1:port.
UpgradeInputs LoopbackInputs(std::uint16_t port, const std::string& firmwarePath = "");
