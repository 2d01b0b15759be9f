// A fresh dialog: template 102's caption, size, controls, defaults, tab order and focus.
#include "DialogFixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QTest>

namespace {

// Template sizes in dialog units at 1.5 pixels across and 1.625 down.
constexpr int kDialogWidthPx = 371;   // 247 units
constexpr int kDialogHeightPx = 387;  // 238 units
constexpr int kIconPixels = 32;

struct Geometry {
    int id;
    QRect pixels;
};

} // namespace

class DialogLayout : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        MakeDialog();
    }
};

TEST_F(DialogLayout, CaptionSizeAndFrame)
{
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Firmware Upgrader ( Ver 1,0,1,0 )"));
    EXPECT_EQ(dlg->size(), QSize(kDialogWidthPx, kDialogHeightPx));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    const Qt::WindowFlags flags = dlg->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    const QIcon icon = dlg->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes().value(0), QSize(kIconPixels, kIconPixels));
}

TEST_F(DialogLayout, ControlsSitWhereTheTemplatePutsThem)
{
    const Geometry expected[] = {
        {IDC_FIRMWARE_OPEN, QRect(53, 41, 83, 24)},  {IDC_FIRMWARE_PATH, QRect(152, 41, 150, 26)},
        {IDC_IPADDRESS, QRect(152, 76, 150, 26)},     {IDC_PORT, QRect(152, 112, 150, 26)},
        {IDC_ADMIN_ID, QRect(152, 148, 150, 26)},     {IDC_PASSWORD, QRect(152, 184, 150, 26)},
        {IDC_STATUS, QRect(120, 257, 225, 21)},       {IDC_PROGRESS, QRect(27, 291, 311, 18)},
        {IDC_START_UPGRADE, QRect(90, 330, 81, 31)},  {IDC_EXIT, QRect(197, 330, 81, 31)},
    };
    for (const Geometry& g : expected) {
        SCOPED_TRACE(g.id);
        QWidget* w = dlg->findChild<QWidget*>(QStringLiteral("IDC_%1").arg(g.id));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), g.pixels);
    }
}

TEST_F(DialogLayout, LabelsReadAsInTheTemplate)
{
    QStringList texts;
    for (const QLabel* label : dlg->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        texts << label->text();
    EXPECT_EQ(texts, (QStringList{"Camera IP :", "Admin password :", "Admin ID :", "", "Upgrade port :",
                                  "Upgrade status: "}));
    EXPECT_EQ(Button(IDC_START_UPGRADE)->text(), QStringLiteral("Start upgrade"));
    EXPECT_EQ(Button(IDC_EXIT)->text(), QStringLiteral("Exit"));
    EXPECT_EQ(Button(IDC_FIRMWARE_OPEN)->text(), QStringLiteral("Firmware Open"));
    const auto* box = dlg->findChild<QGroupBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->title().isEmpty());
}

TEST_F(DialogLayout, DefaultsOfAFreshDialog)
{
    EXPECT_EQ(Field(IDC_ADMIN_ID)->text(), QStringLiteral("admin"));
    EXPECT_EQ(Field(IDC_PASSWORD)->text(), QStringLiteral("tovel"));
    EXPECT_EQ(Field(IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    EXPECT_NE(Field(IDC_PASSWORD)->displayText(), QStringLiteral("tovel"));
    EXPECT_EQ(Field(IDC_PORT)->text(), QStringLiteral("9000"));
    EXPECT_TRUE(Field(IDC_FIRMWARE_PATH)->text().isEmpty());
    EXPECT_FALSE(Field(IDC_FIRMWARE_PATH)->isReadOnly());
    EXPECT_TRUE(Status()->text().isEmpty());
    EXPECT_EQ(Progress()->value(), Progress()->minimum());
    EXPECT_FALSE(dlg->FirmwareLoaded());
    EXPECT_EQ(dlg->FailedLogins(), 0);
    EXPECT_FALSE(dlg->WorkerRunning());
    for (QPushButton* b : dlg->findChildren<QPushButton*>()) {
        EXPECT_TRUE(b->isEnabled());
        EXPECT_FALSE(b->isDefault());
    }

    // A fixed private address, never a public one and never the loopback the tests use.
    const auto a = Address()->Address();
    const bool isPrivate = a[0] == 10 || (a[0] == 172 && a[1] >= 16 && a[1] <= 31) || (a[0] == 192 && a[1] == 168);
    EXPECT_TRUE(isPrivate) << int(a[0]) << "." << int(a[1]) << "." << int(a[2]) << "." << int(a[3]);
    std::uint8_t f0, f1, f2, f3;
    EXPECT_EQ(Address()->GetAddress(f0, f1, f2, f3), CIPAddressCtrl::kFields);
}

TEST_F(DialogLayout, FocusStartsInTheAddressAndTabFollowsTheTemplate)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    auto focusedControl = [this] {
        QWidget* w = QApplication::focusWidget();
        while (w && w->parentWidget() != dlg.get())
            w = w->parentWidget();
        return w ? w->objectName() : QString();
    };
    EXPECT_EQ(focusedControl(), QStringLiteral("IDC_%1").arg(IDC_IPADDRESS));

    const int order[] = {IDC_ADMIN_ID, IDC_PASSWORD,      IDC_START_UPGRADE, IDC_EXIT,
                         IDC_PORT,     IDC_FIRMWARE_OPEN, IDC_FIRMWARE_PATH, IDC_IPADDRESS};
    for (int id : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(focusedControl(), QStringLiteral("IDC_%1").arg(id));
    }

    // The address control is one stop whichever of its fields has the focus.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(focusedControl(), QStringLiteral("IDC_%1").arg(IDC_FIRMWARE_PATH));
    Address()->Field(2)->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(focusedControl(), QStringLiteral("IDC_%1").arg(IDC_ADMIN_ID));
    Address()->Field(2)->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(focusedControl(), QStringLiteral("IDC_%1").arg(IDC_FIRMWARE_PATH));
}
