#include "Protocol.h"
#include "SessionMessages.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

StatusReply ReplyWithText(const std::string& text)
{
    StatusReply reply;
    std::memcpy(reply.bytes.data(), text.data(), std::min(text.size(), reply.bytes.size()));
    return reply;
}

struct CodeCase {
    std::string text;
    int code;
};

class StatusCodeReading : public testing::TestWithParam<CodeCase> {};

TEST_P(StatusCodeReading, ReadsLikeAtoi)
{
    EXPECT_EQ(ReadStatusCode(ReplyWithText(GetParam().text)), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Variants, StatusCodeReading,
                         testing::Values(CodeCase{"10", 10}, CodeCase{"10x", 10}, CodeCase{"  10", 10},
                                         CodeCase{"\t\n\v\f\r10", 10}, CodeCase{"+10", 10}, CodeCase{"010", 10},
                                         CodeCase{"A10", 0}, CodeCase{"", 0}, CodeCase{"-34", -34},
                                         CodeCase{"+ 10", 0}, CodeCase{"2147483647", INT_MAX},
                                         CodeCase{"2147483648", INT_MAX}, CodeCase{"-99999999999", INT_MIN},
                                         // no zero byte anywhere: reading must stop at the reply's end
                                         CodeCase{std::string(256, '9'), INT_MAX},
                                         CodeCase{std::string(255, ' ') + "7", 7},
                                         CodeCase{std::string(256, ' '), 0}));

TEST(StatusReplyFields, ProgressNumbersAreBigEndian)
{
    StatusReply reply;
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04};
    std::memcpy(reply.bytes.data() + REPLY_PROGRESS_VALUE_OFFSET, bytes, sizeof bytes);
    EXPECT_EQ(ReadProgressValue(reply), 258);
    EXPECT_EQ(ReadProgressTotal(reply), 772);
    reply.bytes.fill(0xFF);
    EXPECT_EQ(ReadProgressValue(reply), 65535);
    EXPECT_EQ(ReadProgressTotal(reply), 65535);
}

TEST(StatusReplyFields, ReasonStopsAtZeroAndNeverPassesTheEnd)
{
    StatusReply reply = ReplyWithText("34");
    std::memcpy(reply.bytes.data() + REPLY_REASON_OFFSET, "flash busy\0tail", 15);
    EXPECT_EQ(ReadReasonText(reply), "flash busy");

    reply.bytes.fill('r');
    EXPECT_EQ(ReadReasonText(reply), std::string(244, 'r'));
    EXPECT_EQ(msg::UpgradeFailed(ReadReasonText(reply)).size(), 16u + 244u);
}

TEST(StatusReplyFields, ReasonIsDataNotAFormat)
{
    EXPECT_EQ(msg::UpgradeFailed("%s%n%d 100%"), "Upgrade failed: %s%n%d 100%");
}

TEST(CredentialBlockEncoding, FifteenCharactersFillTheFieldBeforeItsTerminator)
{
    const CredentialBlock block = EncodeCredentialBlock("ABCDEFGHIJKLMNO", "abcdefghijklmno");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.bytes.data()), 15), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(block.bytes[15], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.bytes.data() + 16), 15), "abcdefghijklmno");
    EXPECT_EQ(block.bytes[31], 0);
}

TEST(CredentialBlockEncoding, BytesAfterEachTerminatorAreZero)
{
    const CredentialBlock block = EncodeCredentialBlock("admin", "\xE9t\xE9");
    std::array<std::uint8_t, CREDENTIAL_BLOCK_SIZE> expected{};
    std::memcpy(expected.data(), "admin", 5);
    std::memcpy(expected.data() + 16, "\xE9t\xE9", 3);
    EXPECT_EQ(block.bytes, expected);
}

TEST(CredentialBlockEncoding, OverlongTextKeepsItsTerminatorInsideTheField)
{
    const CredentialBlock block = EncodeCredentialBlock(std::string(40, 'i'), std::string(40, 'p'));
    EXPECT_EQ(block.bytes[15], 0);
    EXPECT_EQ(block.bytes[16], 'p');
    EXPECT_EQ(block.bytes[31], 0);
}

TEST(AtoiSaturating, LooksOnlyAtTheGivenBytes)
{
    const std::uint8_t text[] = {'9', '0', '0', '0', '1'};
    EXPECT_EQ(AtoiSaturating(text, 4), 9000);
    EXPECT_EQ(AtoiSaturating(text, 0), 0);
}

} // namespace
