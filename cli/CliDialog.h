// The dialog operations of an upgrade session, carried out in a terminal: the inputs come from the
// command line, everything shown goes to a CliOutput.
#pragma once

#include "CliOutput.h"
#include "UpgradeDialogOps.h"

class CliDialog : public UpgradeDialogOps {
public:
    CliDialog(UpgradeInputs inputs, CliOutput& output);

    UpgradeInputs LoadInputs() override;
    void SetStatusText(const std::string& text) override;
    void ShowMembers() override;
    void SetProgressRange(std::uint32_t high) override;
    void SetProgressPos(std::uint32_t pos) override;
    void EnableButtons(bool enable) override;
    void FinishUpgrade() override;
    void ShowMessage(const std::string& text) override;
    int CountRefusedLogin() override;

    // The session showed "Firmware upgrade completed" as its verdict.
    bool Completed() const { return m_completed; }

private:
    void UpdateBytes();

    UpgradeInputs m_inputs;
    CliOutput& m_output;
    ProgressState m_state;
    std::string m_shownStatus;
    std::uint64_t m_imageBytes = 0;
    int m_failedLogins = 0; // one session per run, so the count starts afresh with every run
    bool m_completed = false;
};
