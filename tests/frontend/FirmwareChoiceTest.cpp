// "Firmware Open" and the loaded flag, and Start refused before a firmware file is chosen.
#include "DialogFixture.h"

#include <QTest>

class FirmwareChoice : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        MakeDialog();
    }
};

TEST_F(FirmwareChoice, ChooserIsAskedWithTitleFilterAndExtension)
{
    Choose(QStringLiteral("/tmp/x.frm"));
    ASSERT_EQ(chooser.requests.size(), 1u);
    const FileChooserRequest& r = chooser.requests[0];
    EXPECT_EQ(r.title, QStringLiteral("open firmware open"));
    EXPECT_EQ(r.filter, QStringLiteral("Firmware Files (*.frm)"));
    EXPECT_EQ(r.defaultSuffix, QStringLiteral("frm"));
    EXPECT_EQ(r.initialName, QStringLiteral("*.frm"));
    EXPECT_EQ(chooser.owners[0], dlg.get());
}

TEST_F(FirmwareChoice, OnlyTheExactExtensionFrmLoadsTheFirmware)
{
    struct Case {
        const char* path;
        bool loaded;
    };
    const Case cases[] = {
        {"/data/camera.frm", true},    {"/data/camera.FRM", false},   {"/data/camera.Frm", false},
        {"/data/camera", false},       {"/data/camera.frm.bak", false}, {"/data/set.frm/camera", false},
        {"/data/camera.v2.frm", true}, {"/data/camera.frm ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Choose(QString::fromLatin1(c.path));
        EXPECT_EQ(dlg->FirmwareLoaded(), c.loaded);
        EXPECT_EQ(Field(IDC_FIRMWARE_PATH)->text(), QString::fromLatin1(c.path));
    }
}

TEST_F(FirmwareChoice, LaterChoiceOfAnotherExtensionUnloads)
{
    Choose(QStringLiteral("/data/a.frm"));
    ASSERT_TRUE(dlg->FirmwareLoaded());
    Choose(QStringLiteral("/data/a.txt"));
    EXPECT_FALSE(dlg->FirmwareLoaded());
}

TEST_F(FirmwareChoice, CancelKeepsPathFlagAndFields)
{
    Choose(QStringLiteral("/data/a.frm"));
    Field(IDC_ADMIN_ID)->setText(QStringLiteral("typed"));
    chooser.answer.reset();
    QTest::mouseClick(Button(IDC_FIRMWARE_OPEN), Qt::LeftButton);
    EXPECT_TRUE(dlg->FirmwareLoaded());
    EXPECT_EQ(Field(IDC_FIRMWARE_PATH)->text(), QStringLiteral("/data/a.frm"));
    EXPECT_EQ(Field(IDC_ADMIN_ID)->text(), QStringLiteral("typed"));
}

TEST_F(FirmwareChoice, ConfirmedChoicePutsTheMembersBackIntoTheFields)
{
    Field(IDC_ADMIN_ID)->setText(QStringLiteral("typed"));
    Choose(QStringLiteral("/data/a.frm"));
    EXPECT_EQ(Field(IDC_ADMIN_ID)->text(), QStringLiteral("admin"));
}

TEST_F(FirmwareChoice, StartWithoutLoadedFirmwareIsRefusedWithoutIcon)
{
    const QString wrongCase = WriteFirmware(QStringLiteral("fw.FRM"), 16);
    for (const QString& chosen : {QString(), wrongCase}) {
        SCOPED_TRACE(chosen.toStdString());
        boxes.boxes.clear();
        if (!chosen.isEmpty())
            Choose(chosen);
        ClickStart();
        ASSERT_EQ(boxes.boxes.size(), 1u);
        const RecordingBoxes::Box& box = boxes.boxes[0];
        EXPECT_EQ(box.request.text, QStringLiteral("You must load firmware"));
        EXPECT_EQ(box.request.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.request.caption, QStringLiteral("frontend_tests"));
        EXPECT_EQ(box.owner, dlg.get());
        EXPECT_FALSE(dlg->WorkerRunning());
    }
}
