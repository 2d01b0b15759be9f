#include "CliDialog.h"

#include "Protocol.h"
#include "SessionMessages.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

CliDialog::CliDialog(UpgradeInputs inputs, CliOutput& output) : m_inputs(std::move(inputs)), m_output(output)
{
}

UpgradeInputs CliDialog::LoadInputs()
{
    // Only for showing bytes; the session reads the file itself and judges it.
    if (m_inputs.preloadedImage) {
        m_imageBytes = m_inputs.preloadedImage->length;
    } else {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(m_inputs.firmwarePath, ec);
        m_imageBytes = ec ? 0 : size;
    }
    return m_inputs;
}

void CliDialog::SetStatusText(const std::string& text)
{
    m_state.status = text;
    m_state.transfer = text == msg::kStatusTransferring;
    UpdateBytes();
}

void CliDialog::ShowMembers()
{
    if (m_state.status == m_shownStatus)
        return;
    m_shownStatus = m_state.status;
    m_output.Status(m_state);
}

void CliDialog::SetProgressRange(std::uint32_t high)
{
    m_state.high = high;
    UpdateBytes();
    m_output.Range(m_state);
}

void CliDialog::SetProgressPos(std::uint32_t pos)
{
    m_state.position = pos;
    UpdateBytes();
    m_output.Position(m_state);
}

void CliDialog::EnableButtons(bool)
{
    // A terminal has no buttons: nothing can start a second session or end this one but a signal.
}

void CliDialog::FinishUpgrade()
{
}

void CliDialog::ShowMessage(const std::string& text)
{
    if (text == msg::kUpgradeCompleted)
        m_completed = true;
    m_output.Message(text);
}

int CliDialog::CountRefusedLogin()
{
    return ++m_failedLogins;
}

void CliDialog::UpdateBytes()
{
    if (!m_state.transfer || m_imageBytes == 0) {
        m_state.bytesDone = m_state.bytesTotal = 0;
        return;
    }
    // Positions count acknowledged pieces of FRAGMENT_SIZE bytes; the last piece may be shorter.
    m_state.bytesTotal = m_imageBytes;
    m_state.bytesDone = std::min<std::uint64_t>(std::uint64_t{m_state.position} * FRAGMENT_SIZE, m_imageBytes);
}
