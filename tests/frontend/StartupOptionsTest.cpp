// Start-up: the application name, the optional arguments that prefill the dialog, and help.
#include "AppName.h"
#include "DialogFixture.h"
#include "StartupOptions.h"
#include "UpgraderApp.h"

#include <QFile>
#include <QTest>

TEST(StartupOptions, DottedQuadTakesFourFieldsOf0To255Only)
{
    struct Case {
        const char* text;
        std::optional<std::uint32_t> packed;
    };
    const Case cases[] = {
        {"127.0.0.1", 0x7F000001u}, {"255.255.255.255", 0xFFFFFFFFu}, {"0.0.0.0", 0u},
        {"010.1.1.1", 0x0A010101u}, {"256.1.1.1", std::nullopt},      {"1.2.3", std::nullopt},
        {"1.2.3.4.5", std::nullopt}, {"1..3.4", std::nullopt},        {" 1.2.3.4", std::nullopt},
        {"1.2.3.x", std::nullopt},  {"-1.2.3.4", std::nullopt},       {"1234.1.1.1", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseDottedQuad(QString::fromLatin1(c.text)), c.packed);
    }
}

TEST(StartupOptions, ArgumentsOnlyPrefillAndBadOnesAreReported)
{
    const StartupOptions none = ParseStartupOptions({QStringLiteral("upgrader")});
    EXPECT_FALSE(none.address || none.port || none.firmware);
    EXPECT_TRUE(none.problems.isEmpty());

    const StartupOptions all = ParseStartupOptions(
        {"upgrader", "--ip", "127.0.0.1", "--port=9100", "--firmware", "/data/fw.frm"});
    EXPECT_EQ(all.address, 0x7F000001u);
    EXPECT_EQ(all.port, QStringLiteral("9100"));
    EXPECT_EQ(all.firmware, QStringLiteral("/data/fw.frm"));
    EXPECT_TRUE(all.problems.isEmpty());

    const StartupOptions bad = ParseStartupOptions({"upgrader", "--ip", "300.1.1.1", "--port", "80", "stray"});
    EXPECT_FALSE(bad.address);
    EXPECT_EQ(bad.port, QStringLiteral("80"));
    EXPECT_EQ(bad.problems.size(), 2);
}

TEST(StartupOptions, ApplicationNameIsTheExecutableWithoutFolderOrExtension)
{
    EXPECT_EQ(ApplicationName(), QStringLiteral("frontend_tests"));
}

class StartupDialog : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        MakeDialog();
    }
};

TEST_F(StartupDialog, FillsTheFieldsAndCountsAsAChoice)
{
    dlg->PrefillAddress(0x7F000001u);
    dlg->PrefillPort(QStringLiteral("9100"));
    dlg->PrefillFirmware(QStringLiteral("/data/fw.frm"));
    EXPECT_EQ(Address()->Address(), (std::array<std::uint8_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(Field(IDC_PORT)->text(), QStringLiteral("9100"));
    EXPECT_EQ(Field(IDC_FIRMWARE_PATH)->text(), QStringLiteral("/data/fw.frm"));
    EXPECT_TRUE(dlg->FirmwareLoaded());
    dlg->PrefillFirmware(QStringLiteral("/data/fw.bin"));
    EXPECT_FALSE(dlg->FirmwareLoaded());
}

TEST_F(StartupDialog, ATooLongPortIsShownAsGivenAndRefusedWhenRead)
{
    dlg->PrefillPort(QStringLiteral("123456"));
    EXPECT_EQ(Field(IDC_PORT)->text(), QStringLiteral("123456"));
    EXPECT_FALSE(dlg->UpdateData(true));
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Please enter no more than 5 characters.")});
}

TEST_F(StartupDialog, HelpWithoutAHelpFileSaysItFailed)
{
    ASSERT_FALSE(QFile::exists(CUpgraderApp::HelpFilePath()));
    EXPECT_TRUE(CUpgraderApp::HelpFilePath().endsWith(QStringLiteral("/frontend_tests.HLP")));
    dlg->SetHelpHandler([this] { CUpgraderApp::OnHelp(dlg.get(), boxes); });

    PressKeyIn(Field(IDC_ADMIN_ID), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(boxes.boxes.empty());

    PressKeyIn(Field(IDC_ADMIN_ID), Qt::Key_F1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].request.text, QStringLiteral("Failed to launch help."));
    EXPECT_EQ(boxes.boxes[0].request.caption, QStringLiteral("frontend_tests"));
    EXPECT_EQ(boxes.boxes[0].request.icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.boxes[0].owner, dlg.get());
    EXPECT_TRUE(dlg->isVisible());
}
