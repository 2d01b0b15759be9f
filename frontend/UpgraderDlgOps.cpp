// The session's operations on the dialog. They run on the UI thread only: CWorkerBridge carries the
// worker's calls over, so no member is shared between threads.
#include "UpgraderDlg.h"

#include "IpAddressCtrl.h"

#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <climits>

namespace {
// The toolkit's bar counts in int; a range of 0 would turn it into a busy indicator.
int BarHigh(std::uint32_t high)
{
    return static_cast<int>(std::clamp<std::uint32_t>(high, 1, INT_MAX));
}
std::string ToBytes(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}
} // namespace

UpgradeInputs CUpgraderDlg::LoadInputs()
{
    OnRefreshRequest(kRefreshRead, 0);
    UpgradeInputs inputs;
    inputs.adminId = ToBytes(m_strAdminId);
    inputs.password = ToBytes(m_strPassword);
    inputs.port = ToBytes(m_strPort);
    inputs.firmwarePath = ToBytes(m_strFirmwarePath);
    inputs.address = m_ipAddress->Address();
    return inputs;
}

void CUpgraderDlg::SetStatusText(const std::string& text)
{
    m_strStatus = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

void CUpgraderDlg::ShowMembers()
{
    OnRefreshRequest(kRefreshShow, 0);
}

void CUpgraderDlg::SetProgressRange(std::uint32_t high)
{
    // The position stays, moved into the new range, as the common control keeps it.
    const std::uint32_t pos = static_cast<std::uint32_t>(std::max(m_progress->value(), 0));
    m_progressHigh = high;
    m_progress->setRange(0, BarHigh(high));
    SetProgressPos(pos);
}

void CUpgraderDlg::SetProgressPos(std::uint32_t pos)
{
    // A position outside the range last set is shown at the nearer end.
    m_progress->setValue(static_cast<int>(std::min(pos, std::min<std::uint32_t>(m_progressHigh, INT_MAX))));
}

void CUpgraderDlg::EnableButtons(bool enable)
{
    m_btnStart->setEnabled(enable);
    m_btnExit->setEnabled(enable);
}

void CUpgraderDlg::FinishUpgrade()
{
    m_btnStart->setEnabled(true);
    m_btnExit->setEnabled(true);
}

void CUpgraderDlg::ShowMessage(const std::string& text)
{
    ShowBox(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())), true);
}

int CUpgraderDlg::CountRefusedLogin()
{
    return ++m_nFailedLogins;
}
