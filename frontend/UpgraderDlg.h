// The upgrader dialog (template 102): the operator's inputs, the status line, the progress bar and the
// commands. It is also the session's front end on the UI thread; the worker reaches it only through
// CWorkerBridge, which carries every operation over to this thread.
#pragma once

#include "UpgradeDialogOps.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

class CFileChooser;
class CIPAddressCtrl;
class CMessageBoxes;
class CUpgradeWorker;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Where the dialog shows its message boxes and file chooser; null members mean the real ones.
struct DialogSeams {
    CMessageBoxes* boxes = nullptr;
    CFileChooser* chooser = nullptr;
};

class CUpgraderDlg : public QDialog, public UpgradeDialogOps {
    Q_OBJECT
public:
    static constexpr std::uint32_t kDefaultCameraAddress = 0xC0A8000Au; // 192.168.0.10, a private address
    // wParam of the refresh request.
    static constexpr unsigned long kRefreshRead = 0;
    static constexpr unsigned long kRefreshShow = 1;
    // A fresh progress bar is empty over the common control's default range.
    static constexpr std::uint32_t kInitialProgressHigh = 100;

    explicit CUpgraderDlg(QWidget* parent = nullptr, DialogSeams seams = {});
    ~CUpgraderDlg() override;

    int DoModal() { return exec(); }

    // Start-up arguments: they only fill fields; a firmware path counts as a confirmed choice.
    void PrefillAddress(std::uint32_t packed);
    void PrefillPort(const QString& port);
    void PrefillFirmware(const QString& path);

    // F1 goes to the application, which owns help.
    void SetHelpHandler(std::function<void()> onHelp) { m_onHelp = std::move(onHelp); }

    // Copies the fields into the members (true) or the members into the fields (false). False when a
    // field is longer than its limit: the operator has been told, and that field has the focus.
    bool UpdateData(bool saveAndValidate = true);
    // The refresh request: 0 reads the fields, 1 shows the members, anything else does nothing; always 1.
    long OnRefreshRequest(unsigned long wParam, long lParam);

    // The extension after the file name's last dot, empty when it has none.
    static QString FileExt(const QString& path);
    // Exactly "frm", with case.
    static bool IsFirmwareFile(const QString& path);

    bool WorkerRunning() const;
    bool FirmwareLoaded() const { return m_bFirmwareLoaded; }
    int FailedLogins() const { return m_nFailedLogins; }
    CMessageBoxes& MessageBoxes() const { return *m_boxes; }
    // A box with the application name as caption and one OK button, owned by the dialog.
    void ShowBox(const QString& text, bool exclamation);

    // The session's operations, on the UI thread only.
    UpgradeInputs LoadInputs() override;
    void SetStatusText(const std::string& text) override;
    void ShowMembers() override;
    void SetProgressRange(std::uint32_t high) override;
    void SetProgressPos(std::uint32_t pos) override;
    void EnableButtons(bool enable) override;
    void FinishUpgrade() override;
    void ShowMessage(const std::string& text) override;
    int CountRefusedLogin() override;

signals:
    // The controls now show the members (after a refresh request with wParam 1).
    void MembersShown();

public slots:
    void OnFirmwareOpen();
    void OnStartUpgrade();
    void OnExit();
    void OnOK();
    // Every way the dialog ends (Exit, Esc, Enter) passes here: the worker stops before the window goes.
    void done(int result) override;

    // The worker bridge's wake-up: serves what the worker waits for.
    void OnHandOver();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void OnInitDialog();
    void DoDataExchange(bool saveAndValidate, bool& failed);
    void StopWorker();
    QLineEdit* Edit(int id) const;

    // Members in the order of the template's data exchange.
    QPushButton* m_btnExit = nullptr;
    QPushButton* m_btnStart = nullptr;
    QProgressBar* m_progress = nullptr;
    CIPAddressCtrl* m_ipAddress = nullptr;
    QString m_strPassword;
    QString m_strAdminId;
    QString m_strPort;
    QString m_strStatus;
    QString m_strFirmwarePath;
    std::unique_ptr<CUpgradeWorker> m_pWorkerThread;
    int m_nFailedLogins = 0;
    bool m_bFirmwareLoaded = false;

    QPushButton* m_btnFirmwareOpen = nullptr;
    QLabel* m_status = nullptr;
    std::uint32_t m_progressHigh = kInitialProgressHigh; // the range last set by the session

    std::unique_ptr<CMessageBoxes> m_ownBoxes;
    std::unique_ptr<CFileChooser> m_ownChooser;
    CMessageBoxes* m_boxes;
    CFileChooser* m_chooser;
    std::function<void()> m_onHelp;
};
