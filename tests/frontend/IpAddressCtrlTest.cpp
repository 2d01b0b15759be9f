// The address control: four fields of 0 to 255, packed and unpacked, typed, blank read as 0.
#include "IpAddressCtrl.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::array<std::uint8_t, 4> Read(const CIPAddressCtrl& ctrl, int* filled = nullptr)
{
    std::array<std::uint8_t, 4> a{};
    const int n = ctrl.GetAddress(a[0], a[1], a[2], a[3]);
    if (filled)
        *filled = n;
    return a;
}

} // namespace

TEST(IpAddressCtrl, PackedAddressHasTheFirstFieldOnTop)
{
    CIPAddressCtrl ctrl;
    ctrl.SetAddress(0xC0A80A01u);
    EXPECT_EQ(Read(ctrl), (std::array<std::uint8_t, 4>{192, 168, 10, 1}));
    EXPECT_EQ(ctrl.Field(0)->text(), QStringLiteral("192"));
    ctrl.SetAddress(255, 0, 255, 0);
    EXPECT_EQ(Read(ctrl), (std::array<std::uint8_t, 4>{255, 0, 255, 0}));
}

TEST(IpAddressCtrl, BlankFieldsReadAsZeroAndAreNotCounted)
{
    CIPAddressCtrl ctrl;
    int filled = -1;
    EXPECT_EQ(Read(ctrl, &filled), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(filled, 0);
    ctrl.SetAddress(10, 1, 2, 3);
    ctrl.Field(2)->clear();
    EXPECT_EQ(Read(ctrl, &filled), (std::array<std::uint8_t, 4>{10, 1, 0, 3}));
    EXPECT_EQ(filled, 3);
    ctrl.ClearAddress();
    Read(ctrl, &filled);
    EXPECT_EQ(filled, 0);
}

TEST(IpAddressCtrl, TypingAcceptsDigitsUpTo255AndMovesOnWithADot)
{
    CIPAddressCtrl ctrl;
    ctrl.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ctrl));
    ctrl.setFocus();
    // Each key goes to the field that has the focus, as the operator's keys would.
    for (const QChar c : QStringLiteral("10.x0.300.7"))
        QTest::keyClicks(ctrl.focusWidget(), QString(c));
    EXPECT_EQ(Read(ctrl), (std::array<std::uint8_t, 4>{10, 0, 255, 7}));
}
