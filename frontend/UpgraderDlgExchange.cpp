// The dialog's data exchange: the order of the steps and the limits of the fields.
#include "UpgraderDlg.h"

#include "DataExchange.h"
#include "res/resource.h"

#include <QLabel>

namespace {
constexpr int kMaxPasswordBytes = 15;
constexpr int kMaxAdminIdBytes = 15;
constexpr int kMaxPortBytes = 5;
} // namespace

bool CUpgraderDlg::UpdateData(bool saveAndValidate)
{
    bool failed = false;
    DoDataExchange(saveAndValidate, failed);
    return !failed;
}

void CUpgraderDlg::DoDataExchange(bool saveAndValidate, bool& failed)
{
    CDataExchange dx;
    dx.saveAndValidate = saveAndValidate;
    dx.report = [this](const QString& message) { ShowBox(message, true); };

    // The buttons, the progress bar and the address control are bound when they are created; the
    // address is never exchanged: the session reads it from the control.
    DDX_Text(dx, Edit(IDC_PASSWORD), m_strPassword);
    DDV_MaxChars(dx, Edit(IDC_PASSWORD), m_strPassword, kMaxPasswordBytes);
    DDX_Text(dx, Edit(IDC_ADMIN_ID), m_strAdminId);
    DDV_MaxChars(dx, Edit(IDC_ADMIN_ID), m_strAdminId, kMaxAdminIdBytes);
    DDX_Text(dx, Edit(IDC_PORT), m_strPort);
    DDV_MaxChars(dx, Edit(IDC_PORT), m_strPort, kMaxPortBytes);
    DDX_Text(dx, m_status, m_strStatus);
    DDX_Text(dx, Edit(IDC_FIRMWARE_PATH), m_strFirmwarePath);
    failed = dx.failed;
}
