// A dialog on real widgets whose message boxes and file chooser are answered by the test, with helpers
// to reach its controls and to wait (bounded) for what the worker does.
#pragma once

#include "FileChooser.h"
#include "IpAddressCtrl.h"
#include "MessageBoxes.h"
#include "UpgraderDlg.h"
#include "res/resource.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// Longest a test waits for the worker or the camera before it fails.
constexpr int kWaitMs = 15000;

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs);
// Types the text key by key, any characters (the test library's own typing knows ASCII only).
void TypeText(QWidget* widget, const QString& text);

// Every box is recorded and dismissed at once, as if the operator pressed OK.
class RecordingBoxes : public CMessageBoxes {
public:
    struct Box {
        QWidget* owner = nullptr;
        MessageBoxRequest request;
    };
    void Show(QWidget* owner, const MessageBoxRequest& request) override;
    void CloseAll() override {}

    QStringList Texts() const;
    std::vector<Box> boxes;
    std::function<void(const Box&)> onShow;
};

// Answers the chooser with the path set beforehand, or cancels when there is none.
class ScriptedChooser : public CFileChooser {
public:
    std::optional<QString> ChooseToOpen(QWidget* owner, const FileChooserRequest& request) override;

    std::optional<QString> answer;
    std::vector<FileChooserRequest> requests;
    std::vector<QWidget*> owners;
};

// Aborts the test program when a test hangs, so a deadlock fails instead of waiting for the runner.
class HangGuard {
public:
    explicit HangGuard(int limitMs);
    ~HangGuard();

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

class DialogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds the dialog; realBoxes shows real message boxes instead of recording them.
    void MakeDialog(bool realBoxes = false);

    QLineEdit* Field(int id) const;
    QPushButton* Button(int id) const;
    QLabel* Status() const;
    QProgressBar* Progress() const;
    CIPAddressCtrl* Address() const;

    // A firmware file in the test's own folder: size bytes, the first one chosen by the type tag rule.
    QString WriteFirmware(const QString& name, int size, char firstByte = 'B');
    // Confirms a file in the chooser through "Firmware Open".
    void Choose(const QString& path);
    // Points the dialog at a camera on 127.0.0.1.
    void AimAt(std::uint16_t port);
    void ClickStart();
    // Gives target the focus, then presses the key there, as the operator would.
    void PressKeyIn(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    bool WaitForWorkerEnd();

    RecordingBoxes boxes;
    ScriptedChooser chooser;
    std::unique_ptr<CUpgraderDlg> dlg;
    QTemporaryDir dir;

private:
    std::unique_ptr<HangGuard> m_guard;
};
