// Whole sessions driven through the dialog's widgets against a scripted camera on 127.0.0.1.
#include "DialogFixture.h"
#include "ScriptedCamera.h"

#include <QTest>

namespace {

constexpr int kFullFragments = 2;
constexpr int kFinalPiece = 100;
constexpr int kImageSize = kFullFragments * static_cast<int>(FRAGMENT_SIZE) + kFinalPiece;
constexpr int kPieces = kFullFragments + 1;
constexpr std::uint16_t kFlashTotal = 8;

// What the widgets showed each time the session had the members shown.
struct Shown {
    QString status;
    int pos;
    int high;
    bool startEnabled;
    bool exitEnabled;
    bool operator==(const Shown& o) const
    {
        return status == o.status && pos == o.pos && high == o.high && startEnabled == o.startEnabled &&
               exitEnabled == o.exitEnabled;
    }
};

std::ostream& operator<<(std::ostream& os, const Shown& s)
{
    return os << "{" << s.status.toStdString() << ", " << s.pos << "/" << s.high << ", start "
              << s.startEnabled << ", exit " << s.exitEnabled << "}";
}

std::vector<CameraStep> RefusingLogin()
{
    return {Expect(CREDENTIAL_BLOCK_SIZE), Reply(ST_LOGIN_DENIED)};
}

} // namespace

class UpgradeThroughDialog : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        MakeDialog();
        QObject::connect(dlg.get(), &CUpgraderDlg::MembersShown, dlg.get(), [this] {
            shown.push_back({Status()->text(), Progress()->value(), Progress()->maximum(),
                             Button(IDC_START_UPGRADE)->isEnabled(), Button(IDC_EXIT)->isEnabled()});
        });
    }
    // Starts a session and waits for its end.
    void RunSession()
    {
        ClickStart();
        ASSERT_TRUE(dlg->WorkerRunning());
        ASSERT_TRUE(WaitForWorkerEnd());
    }

    std::vector<Shown> shown;
};

TEST_F(UpgradeThroughDialog, WholeUpgradeShowsEveryStageAndEndsReady)
{
    const std::vector<StatusReply> flash = {
        MakeReply(ST_ERASING, 0, kFlashTotal),   MakeReply(ST_ERASING, 8, kFlashTotal),
        MakeReply(ST_WRITING, 0, kFlashTotal),   MakeReply(ST_WRITING, 5, kFlashTotal),
        MakeReply(ST_VERIFYING, 0, kFlashTotal), MakeReply(ST_VERIFYING, 8, kFlashTotal),
        MakeReply(ST_UPGRADE_DONE),
    };
    ScriptedCamera camera(HappyUpgradeScript(kImageSize, flash));
    const QString firmware = WriteFirmware(QStringLiteral("camera.frm"), kImageSize);
    Choose(firmware);
    AimAt(camera.Port());

    RunSession();

    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Firmware upgrade completed")});
    const QString transfer = QStringLiteral("Transferring Firmware");
    const QString erase = QStringLiteral("Erasing flash memory");
    const QString write = QStringLiteral("Writing flash memory");
    const QString verify = QStringLiteral("Verifying flash memory");
    const std::vector<Shown> expected = {
        // The status is shown before the transfer sets the bar's range.
        {transfer, 0, static_cast<int>(CUpgraderDlg::kInitialProgressHigh), false, false},
        {transfer, 1, kPieces, false, false},
        {transfer, 2, kPieces, false, false}, {transfer, 3, kPieces, false, false},
        {erase, 0, kFlashTotal, false, false}, {erase, 8, kFlashTotal, false, false},
        {write, 0, kFlashTotal, false, false}, {write, 5, kFlashTotal, false, false},
        {verify, 0, kFlashTotal, false, false}, {verify, 8, kFlashTotal, false, false},
    };
    EXPECT_EQ(shown, expected);
    EXPECT_TRUE(Button(IDC_START_UPGRADE)->isEnabled());
    EXPECT_TRUE(Button(IDC_EXIT)->isEnabled());
    EXPECT_EQ(Status()->text(), verify);

    // The camera got the dialog's credentials, then header and image, and saw the connection closed.
    ASSERT_TRUE(camera.ClientClosed());
    const std::vector<std::uint8_t>& got = camera.Received();
    ASSERT_EQ(got.size(), CREDENTIAL_BLOCK_SIZE + UPGRADE_HEADER_SIZE + kImageSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.data())), "admin");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got.data() + CREDENTIAL_PASSWORD_OFFSET)), "tovel");
}

TEST_F(UpgradeThroughDialog, PathEditedByHandAfterAGoodChoiceIsTheOneSent)
{
    ScriptedCamera camera(HappyUpgradeScript(kFinalPiece, {MakeReply(ST_UPGRADE_DONE)}));
    Choose(QStringLiteral("/nonexistent/chosen.frm"));
    const QString typed = WriteFirmware(QStringLiteral("typed.bin"), kFinalPiece, 'L');
    Field(IDC_FIRMWARE_PATH)->setText(typed);
    AimAt(camera.Port());

    RunSession();
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Firmware upgrade completed")});
    EXPECT_EQ(camera.Received().size(), CREDENTIAL_BLOCK_SIZE + UPGRADE_HEADER_SIZE + kFinalPiece);
}

TEST_F(UpgradeThroughDialog, NextSessionStartsWithWhatThePreviousLeftShown)
{
    ScriptedCamera failing(HappyUpgradeScript(kImageSize, {MakeReply(ST_ERASING, 0, kFlashTotal),
                                                           MakeReply(ST_ERASING, 3, kFlashTotal),
                                                           MakeReply(ST_FAILED, 0, 0, "flash worn out")}));
    Choose(WriteFirmware(QStringLiteral("camera.frm"), kImageSize));
    AimAt(failing.Port());
    RunSession();
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Upgrade failed: flash worn out")});
    ASSERT_TRUE(failing.ClientClosed());

    ScriptedCamera refusing(RefusingLogin());
    AimAt(refusing.Port());
    shown.clear();
    RunSession();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(Status()->text(), QStringLiteral("Erasing flash memory"));
    EXPECT_EQ(Progress()->value(), 3);
    EXPECT_EQ(Progress()->maximum(), kFlashTotal);
}

TEST_F(UpgradeThroughDialog, TenthRefusedLoginOverSeveralSessionsEndsWithTheLimitMessage)
{
    const QString denied = QStringLiteral("Admin ID and passowrd are invalid");
    const QString limit = QStringLiteral(
        "Program is terminated because admin authentification failed 10 times.\nCheck the admin ID and password.");
    Choose(WriteFirmware(QStringLiteral("camera.frm"), kFinalPiece));

    const int firstRefusals = 4;
    ScriptedCamera refusingFirst(RefusingLogin(), firstRefusals);
    AimAt(refusingFirst.Port());
    for (int i = 0; i < firstRefusals; ++i)
        RunSession();

    // An accepted login in between resets nothing.
    ScriptedCamera accepting(HappyUpgradeScript(kFinalPiece, {MakeReply(ST_UPGRADE_DONE)}));
    AimAt(accepting.Port());
    RunSession();

    const int laterRefusals = 7;
    ScriptedCamera refusingLater(RefusingLogin(), laterRefusals);
    AimAt(refusingLater.Port());
    for (int i = 0; i < laterRefusals; ++i)
        RunSession();

    QStringList expected;
    for (int i = 0; i < firstRefusals; ++i)
        expected << denied;
    expected << QStringLiteral("Firmware upgrade completed");
    for (int i = 0; i < 6; ++i)
        expected << denied;
    expected << limit << denied;
    EXPECT_EQ(boxes.Texts(), expected);
    EXPECT_EQ(dlg->FailedLogins(), firstRefusals + laterRefusals);
    EXPECT_EQ(refusingLater.Connections(), laterRefusals);
    EXPECT_TRUE(dlg->isVisible()); // the tool goes on after the limit message
}

TEST_F(UpgradeThroughDialog, SecondStartWhileASessionRunsIsRefused)
{
    ScriptedCamera camera({Expect(CREDENTIAL_BLOCK_SIZE), GoSilent()});
    Choose(WriteFirmware(QStringLiteral("camera.frm"), kFinalPiece));
    AimAt(camera.Port());
    ClickStart();
    ASSERT_TRUE(WaitUntil([&] { return camera.Accepted(); }));
    ASSERT_TRUE(Button(IDC_START_UPGRADE)->isEnabled()); // logging in: Start can still be pressed

    ClickStart();
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("An upgrade is already running. Wait until it has ended.")});
    EXPECT_EQ(boxes.boxes[0].request.icon, QMessageBox::Warning);
    EXPECT_TRUE(dlg->WorkerRunning());
    EXPECT_EQ(camera.Connections(), 1);

    QTest::mouseClick(Button(IDC_EXIT), Qt::LeftButton);
    EXPECT_FALSE(dlg->WorkerRunning());
    EXPECT_TRUE(camera.ClientClosed());
    EXPECT_EQ(camera.Connections(), 1);
}
