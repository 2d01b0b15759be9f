// The field limits count bytes of the 8-bit encoding and hold for typing and pasting alike.
#include "ByteLimitValidator.h"
#include "DialogFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kLimit = 5;

struct LimitedField {
    LimitedField() { field.setValidator(new CByteLimitValidator(&field, kLimit)); }
    void Paste(const QString& text)
    {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
    }
    QLineEdit field;
};

struct EditCase {
    const char* name;
    const char* start;   // the field's text before the edit (within the limit)
    int cursor;          // where the edit happens
    const char* typed;   // typed key by key
    const char* pasted;  // or pasted at once
    const char* expected;
};

const EditCase kEditCases[] = {
    {"typing stops at the limit", "", 0, "abcdefgh", nullptr, "abcde"},
    {"pasting is cut to fit", "", 0, nullptr, "abcdefgh", "abcde"},
    {"pasting in the middle keeps the tail", "ab", 1, nullptr, "XYZW", "aXYZb"},
    {"pasting into a full field changes nothing", "abcde", 2, nullptr, "XY", "abcde"},
    {"two-byte letters count twice", "", 0, "\xc3\xa9\xc3\xa9\xc3\xa9", nullptr, "\xc3\xa9\xc3\xa9"},
    {"a pasted two-byte letter is not split", "abcd", 4, nullptr, "\xc3\xa9", "abcd"},
    {"a one-byte letter still fits after two-byte ones", "\xc3\xa9\xc3\xa9", 2, "xy", nullptr,
     "\xc3\xa9\xc3\xa9x"},
};

} // namespace

TEST(ByteLimit, EditsKeepToTheLimitInBytes)
{
    for (const EditCase& c : kEditCases) {
        SCOPED_TRACE(c.name);
        LimitedField f;
        f.field.setText(QString::fromUtf8(c.start));
        f.field.setCursorPosition(c.cursor);
        if (c.typed)
            TypeText(&f.field, QString::fromUtf8(c.typed));
        else
            f.Paste(QString::fromUtf8(c.pasted));
        EXPECT_EQ(f.field.text(), QString::fromUtf8(c.expected));
        EXPECT_LE(EncodedLength(f.field.text()), kLimit);
    }
}

TEST(ByteLimit, TextSetByTheProgramMayExceedButNeverGrows)
{
    LimitedField f;
    SetTextPastLimit(&f.field, QStringLiteral("abcdefg"));
    EXPECT_EQ(f.field.text(), QStringLiteral("abcdefg"));

    f.field.end(false);
    QTest::keyClicks(&f.field, QStringLiteral("h"));
    EXPECT_EQ(f.field.text(), QStringLiteral("abcdefg"));

    QTest::keyClick(&f.field, Qt::Key_Backspace);
    EXPECT_EQ(f.field.text(), QStringLiteral("abcdef"));
}

TEST(ByteLimit, RefusedTypingKeepsUndo)
{
    LimitedField f;
    QTest::keyClicks(&f.field, QStringLiteral("abcde"));
    QTest::keyClicks(&f.field, QStringLiteral("f"));
    EXPECT_EQ(f.field.text(), QStringLiteral("abcde"));
    EXPECT_TRUE(f.field.isUndoAvailable());
}
