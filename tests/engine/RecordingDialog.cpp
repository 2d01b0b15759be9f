#include "RecordingDialog.h"

namespace {
const std::string kMessagePrefix = "message: ";
}

void RecordingDialog::Record(const std::string& line)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.push_back(line);
    }
    if (onCall)
        onCall(line);
}

UpgradeInputs RecordingDialog::LoadInputs()
{
    Record("load");
    return m_inputs;
}

void RecordingDialog::SetStatusText(const std::string& text) { Record("status: " + text); }
void RecordingDialog::ShowMembers() { Record("show"); }
void RecordingDialog::SetProgressRange(std::uint32_t high) { Record("range: " + std::to_string(high)); }
void RecordingDialog::SetProgressPos(std::uint32_t pos) { Record("pos: " + std::to_string(pos)); }
void RecordingDialog::EnableButtons(bool enable) { Record(enable ? "enable" : "disable"); }
void RecordingDialog::FinishUpgrade() { Record("finish"); }
void RecordingDialog::ShowMessage(const std::string& text) { Record(kMessagePrefix + text); }

int RecordingDialog::CountRefusedLogin()
{
    Record("count refusal");
    return ++failedLogins;
}

std::vector<std::string> RecordingDialog::Calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<std::string> RecordingDialog::Messages() const
{
    std::vector<std::string> messages;
    for (const std::string& call : Calls())
        if (call.rfind(kMessagePrefix, 0) == 0)
            messages.push_back(call.substr(kMessagePrefix.size()));
    return messages;
}

std::vector<std::string> RecordingDialog::CallsStartingWith(const std::vector<std::string>& prefixes) const
{
    std::vector<std::string> kept;
    for (const std::string& call : Calls())
        for (const std::string& prefix : prefixes)
            if (call.rfind(prefix, 0) == 0) {
                kept.push_back(call);
                break;
            }
    return kept;
}

void RecordingDialog::ClearCalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

UpgradeInputs LoopbackInputs(std::uint16_t port, const std::string& firmwarePath)
{
    UpgradeInputs inputs;
    inputs.adminId = "admin";
    inputs.password = "tovel";
    inputs.port = std::to_string(port);
    inputs.address = {127, 0, 0, 1};
    inputs.firmwarePath = firmwarePath;
    return inputs;
}
