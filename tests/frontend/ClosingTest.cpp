// Closing the dialog in any state stops the worker: no deadlock, no killed thread, the socket closed.
#include "ByteLimitValidator.h"
#include "DialogFixture.h"
#include "ScriptedCamera.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kPollMs = 10;
constexpr int kFragments = 3;
constexpr int kImageSize = kFragments * static_cast<int>(FRAGMENT_SIZE);
constexpr std::uint16_t kFlashTotal = 10;

enum class Phase { LoggingIn, Transferring, Flashing };
enum class CloseBy { ExitButton, EscKey, EnterInField };

struct CloseCase {
    const char* name;
    Phase phase;
    CloseBy by;
    int result;
};

std::vector<CameraStep> ScriptStoppingIn(Phase phase)
{
    switch (phase) {
    case Phase::LoggingIn:
        return {Expect(CREDENTIAL_BLOCK_SIZE), GoSilent()};
    case Phase::Transferring:
        return {Expect(CREDENTIAL_BLOCK_SIZE), Reply(ST_LOGIN_OK), Expect(UPGRADE_HEADER_SIZE), Reply(ST_HEADER_OK),
                Expect(FRAGMENT_SIZE), Reply(ST_FRAGMENT_OK), GoSilent()};
    case Phase::Flashing:
        break;
    }
    return HappyUpgradeScript(kImageSize, {MakeReply(ST_ERASING, 0, kFlashTotal), MakeReply(ST_ERASING, 4, kFlashTotal)});
}

} // namespace

class Closing : public DialogFixture {
protected:
    void StartAgainst(ScriptedCamera& camera)
    {
        Choose(WriteFirmware(QStringLiteral("camera.frm"), kImageSize));
        AimAt(camera.Port());
        ClickStart();
        ASSERT_TRUE(dlg->WorkerRunning());
    }
    bool ReachedPhase(Phase phase, ScriptedCamera& camera)
    {
        switch (phase) {
        case Phase::LoggingIn:
            return WaitUntil([&] { return camera.Accepted(); });
        case Phase::Transferring:
            return WaitUntil([&] { return Progress()->value() == 1 && Progress()->maximum() == kFragments; });
        case Phase::Flashing:
            return WaitUntil([&] {
                return Status()->text() == QStringLiteral("Erasing flash memory") && Progress()->value() == 4;
            });
        }
        return false;
    }
};

TEST_F(Closing, EveryWayOfClosingStopsTheWorkerInEveryPhase)
{
    const CloseCase cases[] = {
        {"Exit while logging in", Phase::LoggingIn, CloseBy::ExitButton, QDialog::Rejected},
        {"Esc while logging in", Phase::LoggingIn, CloseBy::EscKey, QDialog::Rejected},
        {"Esc during the transfer", Phase::Transferring, CloseBy::EscKey, QDialog::Rejected},
        {"Esc during the flash phase", Phase::Flashing, CloseBy::EscKey, QDialog::Rejected},
        {"Enter in a field during the transfer", Phase::Transferring, CloseBy::EnterInField, QDialog::Accepted},
        {"Enter in a field during the flash phase", Phase::Flashing, CloseBy::EnterInField, QDialog::Accepted},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        MakeDialog();
        boxes.boxes.clear();
        ScriptedCamera camera(ScriptStoppingIn(c.phase));
        StartAgainst(camera);
        ASSERT_TRUE(ReachedPhase(c.phase, camera));
        // Past the login, Exit is disabled; only the keys can close the dialog then.
        EXPECT_EQ(Button(IDC_EXIT)->isEnabled(), c.phase == Phase::LoggingIn);

        switch (c.by) {
        case CloseBy::ExitButton:
            QTest::mouseClick(Button(IDC_EXIT), Qt::LeftButton);
            break;
        case CloseBy::EscKey:
            PressKeyIn(Field(IDC_PORT), Qt::Key_Escape);
            break;
        case CloseBy::EnterInField:
            PressKeyIn(Field(IDC_ADMIN_ID), Qt::Key_Return);
            break;
        }
        // Closing is synchronous: when the key or click returns, the worker has been joined.
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), c.result);
        EXPECT_FALSE(dlg->WorkerRunning());
        EXPECT_TRUE(camera.ClientClosed());
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.Texts().join(QStringLiteral(" | ")).toStdString();
    }
}

TEST_F(Closing, EnterWithATooLongFieldKeepsTheDialogAndTheWorker)
{
    MakeDialog();
    ScriptedCamera camera({Expect(CREDENTIAL_BLOCK_SIZE), GoSilent()});
    StartAgainst(camera);
    ASSERT_TRUE(WaitUntil([&] { return camera.Accepted(); }));
    SetTextPastLimit(Field(IDC_PASSWORD), QStringLiteral("sixteen-letters!"));
    PressKeyIn(Field(IDC_ADMIN_ID), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->WorkerRunning());
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Please enter no more than 15 characters.")});
    PressKeyIn(Field(IDC_ADMIN_ID), Qt::Key_Escape);
    EXPECT_FALSE(dlg->WorkerRunning());
    EXPECT_TRUE(camera.ClientClosed());
}

TEST_F(Closing, EnterOnAFocusedButtonPressesIt)
{
    MakeDialog();
    PressKeyIn(Button(IDC_FIRMWARE_OPEN), Qt::Key_Return);
    EXPECT_EQ(chooser.requests.size(), 1u);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(Closing, ExitBeforeAnyStartClosesWithoutAWorker)
{
    MakeDialog();
    QTest::mouseClick(Button(IDC_EXIT), Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

// The session's box is a real one: caption, text, icon and button as the operator sees them. Closing the
// dialog while it is open (the worker waits for OK) must neither hang nor leave the box behind.
TEST_F(Closing, RealBoxOfTheWorkerThenCloseWhileItIsOpen)
{
    MakeDialog(true);
    ScriptedCamera camera({Expect(CREDENTIAL_BLOCK_SIZE), Reply(ST_LOGIN_DENIED)});
    QPointer<QMessageBox> seen;
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* owner = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || seen)
            return;
        seen = box;
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        owner = box->parentWidget();
        modality = box->windowModality();
        // Closing from inside the box's own loop, as a window manager or the session's end could.
        dlg->reject();
    });
    poll.start();
    StartAgainst(camera);
    ASSERT_TRUE(WaitUntil([&] { return !dlg->isVisible(); }));
    poll.stop();

    EXPECT_EQ(caption, QStringLiteral("frontend_tests"));
    EXPECT_EQ(text, QStringLiteral("Admin ID and passowrd are invalid"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(owner, dlg.get());
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_TRUE(seen.isNull()); // dismissed and gone
    EXPECT_FALSE(dlg->WorkerRunning());
    EXPECT_TRUE(camera.ClientClosed());
    EXPECT_EQ(dlg->FailedLogins(), 0); // the worker was stopped before it could count the refusal
}
