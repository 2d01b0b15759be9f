// The dialog's commands: choosing the firmware, starting and stopping the worker, the refresh request.
#include "UpgraderDlg.h"

#include "DialogTexts.h"
#include "FileChooser.h"
#include "MessageBoxes.h"
#include "UpgradeWorker.h"

#include <QFileInfo>

namespace {
constexpr long kRefreshResult = 1;
} // namespace

QString CUpgraderDlg::FileExt(const QString& path)
{
    return QFileInfo(path).suffix();
}

bool CUpgraderDlg::IsFirmwareFile(const QString& path)
{
    return FileExt(path) == QLatin1String(dlgtext::kFirmwareExtension);
}

bool CUpgraderDlg::WorkerRunning() const
{
    return m_pWorkerThread && m_pWorkerThread->Running();
}

void CUpgraderDlg::OnFirmwareOpen()
{
    FileChooserRequest request;
    request.title = QString::fromLatin1(dlgtext::kChooserTitle);
    request.filter = QString::fromLatin1(dlgtext::kChooserFilter);
    request.defaultSuffix = QString::fromLatin1(dlgtext::kChooserDefaultSuffix);
    request.initialName = QString::fromLatin1(dlgtext::kChooserInitialName);
    const std::optional<QString> chosen = m_chooser->ChooseToOpen(this, request);
    if (!chosen)
        return;
    m_strFirmwarePath = *chosen;
    UpdateData(false);
    m_bFirmwareLoaded = IsFirmwareFile(*chosen);
}

void CUpgraderDlg::OnStartUpgrade()
{
    UpdateData(true); // a failed check has been reported; the start goes on regardless
    if (!m_bFirmwareLoaded) {
        ShowBox(QString::fromLatin1(dlgtext::kMustLoadFirmware), false);
        return;
    }
    // One worker at a time: two sessions would share one dialog.
    if (WorkerRunning()) {
        ShowBox(QString::fromLatin1(dlgtext::kUpgradeRunning), true);
        return;
    }
    // The previous worker has returned: joining it is immediate, and its thread object goes. The new one
    // is in place before its thread runs, so its first hand-over finds it.
    m_pWorkerThread = std::make_unique<CUpgradeWorker>(*this, this);
    if (!m_pWorkerThread->Start()) {
        m_pWorkerThread.reset();
        ShowBox(QString::fromLatin1(dlgtext::kNoWorkerThread), true);
    }
}

void CUpgraderDlg::OnExit()
{
    reject();
}

void CUpgraderDlg::OnOK()
{
    if (UpdateData(true))
        accept();
}

void CUpgraderDlg::done(int result)
{
    StopWorker();
    // A box still open (the worker's, say) has nobody left to answer for.
    m_boxes->CloseAll();
    QDialog::done(result);
}

void CUpgraderDlg::StopWorker()
{
    if (!m_pWorkerThread)
        return;
    m_pWorkerThread->Stop();
    m_pWorkerThread.reset();
}

void CUpgraderDlg::OnHandOver()
{
    // A wake-up can outlive the worker that sent it; then there is nothing to serve.
    if (m_pWorkerThread)
        m_pWorkerThread->ServePending();
}

long CUpgraderDlg::OnRefreshRequest(unsigned long wParam, long /*lParam*/)
{
    if (wParam == kRefreshRead) {
        UpdateData(true);
    } else if (wParam == kRefreshShow) {
        UpdateData(false);
        emit MembersShown();
    }
    return kRefreshResult;
}
