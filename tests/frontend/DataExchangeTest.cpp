// Fields and members: the limits of the three fields, a read that finds a longer text, the refresh request.
#include "ByteLimitValidator.h"
#include "DialogFixture.h"

#include <QApplication>
#include <QTest>

namespace {

struct LimitCase {
    int id;
    int limit;
};
const LimitCase kLimits[] = {{IDC_ADMIN_ID, 15}, {IDC_PASSWORD, 15}, {IDC_PORT, 5}};

} // namespace

class DataExchange : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        MakeDialog();
    }
};

TEST_F(DataExchange, FieldsRefuseMoreBytesThanTheirLimitFromTheStart)
{
    const QString twenty = QStringLiteral("abcdefghijklmnopqrst");
    for (const LimitCase& c : kLimits) {
        SCOPED_TRACE(c.id);
        QLineEdit* field = Field(c.id);
        field->selectAll();
        QTest::keyClicks(field, twenty);
        EXPECT_EQ(field->text(), twenty.left(c.limit));
        // Two bytes a letter: only half as many letters fit.
        field->selectAll();
        TypeText(field, QString(c.limit, QChar(0xE9)));
        EXPECT_EQ(field->text(), QString(c.limit / 2, QChar(0xE9)));
    }
}

TEST_F(DataExchange, PortFieldTakesAnyCharacters)
{
    QLineEdit* port = Field(IDC_PORT);
    port->selectAll();
    QTest::keyClicks(port, QStringLiteral(" 9a-x"));
    EXPECT_EQ(port->text(), QStringLiteral(" 9a-x"));
}

TEST_F(DataExchange, ReadingATooLongTextStopsTheExchangeAtThatField)
{
    // Only the program can put such a text there, e.g. a start-up argument.
    SetTextPastLimit(Field(IDC_ADMIN_ID), QStringLiteral("sixteen-letters!"));
    Field(IDC_PORT)->setText(QStringLiteral("1234"));

    EXPECT_FALSE(dlg->UpdateData(true));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const RecordingBoxes::Box& box = boxes.boxes[0];
    EXPECT_EQ(box.request.text, QStringLiteral("Please enter no more than 15 characters."));
    EXPECT_EQ(box.request.icon, QMessageBox::Warning);
    EXPECT_EQ(box.request.caption, QStringLiteral("frontend_tests"));
    EXPECT_EQ(box.owner, dlg.get());
    EXPECT_TRUE(Field(IDC_ADMIN_ID)->hasFocus() || QApplication::focusWidget() == Field(IDC_ADMIN_ID));
    EXPECT_EQ(Field(IDC_ADMIN_ID)->selectedText(), QStringLiteral("sixteen-letters!"));

    // The port comes after the admin ID, so its member kept "9000": showing the members proves it.
    dlg->OnRefreshRequest(CUpgraderDlg::kRefreshShow, 0);
    EXPECT_EQ(Field(IDC_PORT)->text(), QStringLiteral("9000"));
}

TEST_F(DataExchange, PasswordIsCheckedBeforeAdminIdAndPortSaysFive)
{
    SetTextPastLimit(Field(IDC_ADMIN_ID), QStringLiteral("sixteen-letters!"));
    SetTextPastLimit(Field(IDC_PASSWORD), QStringLiteral("sixteen-letters!"));
    EXPECT_FALSE(dlg->UpdateData(true));
    EXPECT_EQ(QApplication::focusWidget(), Field(IDC_PASSWORD));

    boxes.boxes.clear();
    Field(IDC_ADMIN_ID)->setText(QStringLiteral("admin"));
    Field(IDC_PASSWORD)->setText(QStringLiteral("tovel"));
    SetTextPastLimit(Field(IDC_PORT), QStringLiteral("123456"));
    EXPECT_FALSE(dlg->UpdateData(true));
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Please enter no more than 5 characters.")});
    EXPECT_EQ(QApplication::focusWidget(), Field(IDC_PORT));
}

TEST_F(DataExchange, RefreshRequestReadsShowsOrIgnoresAndAlwaysAnswersOne)
{
    Field(IDC_ADMIN_ID)->setText(QStringLiteral("operator"));
    EXPECT_EQ(dlg->OnRefreshRequest(CUpgraderDlg::kRefreshRead, 0), 1);

    Field(IDC_ADMIN_ID)->setText(QStringLiteral("typed later"));
    EXPECT_EQ(dlg->OnRefreshRequest(2, 7), 1);
    EXPECT_EQ(Field(IDC_ADMIN_ID)->text(), QStringLiteral("typed later"));

    EXPECT_EQ(dlg->OnRefreshRequest(CUpgraderDlg::kRefreshShow, 0), 1);
    EXPECT_EQ(Field(IDC_ADMIN_ID)->text(), QStringLiteral("operator"));
}

TEST_F(DataExchange, StatusLineIsReadBackLikeTheFields)
{
    dlg->SetStatusText("Erasing flash memory");
    dlg->ShowMembers();
    EXPECT_EQ(Status()->text(), QStringLiteral("Erasing flash memory"));
    // Markup in a status text is shown as it stands.
    dlg->SetStatusText("<b>bold</b>");
    dlg->ShowMembers();
    EXPECT_EQ(Status()->textFormat(), Qt::PlainText);
}

TEST_F(DataExchange, ProgressPositionOutsideTheRangeIsShownClamped)
{
    dlg->SetProgressRange(10);
    dlg->SetProgressPos(4);
    EXPECT_EQ(Progress()->value(), 4);
    dlg->SetProgressPos(50);
    EXPECT_EQ(Progress()->value(), 10);
    dlg->SetProgressRange(0);
    EXPECT_EQ(Progress()->value(), 0);
    EXPECT_GT(Progress()->maximum(), Progress()->minimum()); // empty, not a busy indicator
    dlg->SetProgressRange(0xFFFFFFFFu);
    dlg->SetProgressPos(0xFFFFFFF0u);
    EXPECT_EQ(Progress()->value(), Progress()->maximum());
}
