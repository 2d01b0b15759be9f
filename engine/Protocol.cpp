#include "Protocol.h"

#include <climits>

namespace {

void PutText(std::uint8_t* field, std::size_t fieldSize, const std::string& text)
{
    const std::size_t n = text.size() < fieldSize ? text.size() : fieldSize - 1;
    for (std::size_t i = 0; i < n; ++i)
        field[i] = static_cast<std::uint8_t>(text[i]);
    // The block starts zeroed, so the terminator and the bytes after it already are zero.
}

bool IsAtoiSpace(std::uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::uint16_t ReadBigEndian16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}

} // namespace

CredentialBlock EncodeCredentialBlock(const std::string& adminId, const std::string& password)
{
    CredentialBlock block;
    PutText(block.bytes.data() + CREDENTIAL_ADMIN_ID_OFFSET, CREDENTIAL_FIELD_SIZE, adminId);
    PutText(block.bytes.data() + CREDENTIAL_PASSWORD_OFFSET, CREDENTIAL_FIELD_SIZE, password);
    return block;
}

void PutBigEndian32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

void PutBigEndian16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

int AtoiSaturating(const std::uint8_t* text, std::size_t size)
{
    std::size_t i = 0;
    while (i < size && IsAtoiSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= INT_MAX)
            value = value * 10 + (text[i] - '0');
    }
    if (value > INT_MAX)
        return negative ? INT_MIN : INT_MAX;
    return static_cast<int>(negative ? -value : value);
}

int ReadStatusCode(const StatusReply& reply)
{
    return AtoiSaturating(reply.bytes.data() + REPLY_CODE_OFFSET, reply.bytes.size() - REPLY_CODE_OFFSET);
}

std::uint16_t ReadProgressValue(const StatusReply& reply)
{
    return ReadBigEndian16(reply.bytes.data() + REPLY_PROGRESS_VALUE_OFFSET);
}

std::uint16_t ReadProgressTotal(const StatusReply& reply)
{
    return ReadBigEndian16(reply.bytes.data() + REPLY_PROGRESS_TOTAL_OFFSET);
}

std::string ReadReasonText(const StatusReply& reply)
{
    const auto* begin = reinterpret_cast<const char*>(reply.bytes.data() + REPLY_REASON_OFFSET);
    std::size_t n = 0;
    while (n < REPLY_REASON_MAX && begin[n] != '\0')
        ++n;
    return std::string(begin, n);
}
