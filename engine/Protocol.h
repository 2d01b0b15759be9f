// The camera's upgrade protocol: the three fixed-size blocks, the status codes and the fragment size.
// Every block travels as raw bytes; numbers are unsigned big-endian, texts end at a zero byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// Status codes of a StatusReply.
enum StatusCode : int {
    ST_LOGIN_OK = 10,
    ST_LOGIN_DENIED = 11,
    ST_HEADER_OK = 20,
    ST_FRAGMENT_OK = 21,
    ST_IMAGE_COMPLETE = 22,
    ST_ERASING = 30,
    ST_WRITING = 31,
    ST_VERIFYING = 32,
    ST_UPGRADE_DONE = 33,
    ST_FAILED = 34,
};

constexpr std::uint32_t FRAGMENT_SIZE = 10240;

constexpr std::size_t CREDENTIAL_BLOCK_SIZE = 32;
constexpr std::size_t CREDENTIAL_FIELD_SIZE = 16;
constexpr std::size_t CREDENTIAL_ADMIN_ID_OFFSET = 0;
constexpr std::size_t CREDENTIAL_PASSWORD_OFFSET = 16;
constexpr std::size_t CREDENTIAL_MAX_TEXT = CREDENTIAL_FIELD_SIZE - 1;

constexpr std::size_t UPGRADE_HEADER_SIZE = 64;
constexpr std::size_t HEADER_TYPE_TAG_OFFSET = 0;
constexpr std::size_t HEADER_TYPE_TAG_SIZE = 32;
constexpr std::size_t HEADER_IMAGE_LENGTH_OFFSET = 32;
constexpr std::size_t HEADER_CHECKSUM_OFFSET = 36;
constexpr std::size_t HEADER_FRAGMENT_SIZE_OFFSET = 40;

constexpr std::size_t STATUS_REPLY_SIZE = 256;
constexpr std::size_t REPLY_CODE_OFFSET = 0;
constexpr std::size_t REPLY_PROGRESS_VALUE_OFFSET = 8;
constexpr std::size_t REPLY_PROGRESS_TOTAL_OFFSET = 10;
constexpr std::size_t REPLY_REASON_OFFSET = 12;
constexpr std::size_t REPLY_REASON_MAX = STATUS_REPLY_SIZE - REPLY_REASON_OFFSET;

struct CredentialBlock {
    std::array<std::uint8_t, CREDENTIAL_BLOCK_SIZE> bytes{};
};

struct UpgradeHeader {
    std::array<std::uint8_t, UPGRADE_HEADER_SIZE> bytes{};
};

struct StatusReply {
    std::array<std::uint8_t, STATUS_REPLY_SIZE> bytes{};
};

// Texts longer than CREDENTIAL_MAX_TEXT are cut so the terminator stays in its field; the session refuses
// such texts before it gets here. Bytes after each terminator are zero.
CredentialBlock EncodeCredentialBlock(const std::string& adminId, const std::string& password);

void PutBigEndian32(std::uint8_t* at, std::uint32_t value);
void PutBigEndian16(std::uint8_t* at, std::uint16_t value);

// Decimal text as the C library's atoi reads it (white space, a sign, digits), looking at no more than size
// bytes and saturating instead of overflowing on a long run of digits.
int AtoiSaturating(const std::uint8_t* text, std::size_t size);

// The code as the C library's atoi would read it, but never past the reply's last byte and saturating
// instead of overflowing on a run of digits.
int ReadStatusCode(const StatusReply& reply);
std::uint16_t ReadProgressValue(const StatusReply& reply);
std::uint16_t ReadProgressTotal(const StatusReply& reply);
// From byte 12 up to the first zero byte, never beyond byte 255.
std::string ReadReasonText(const StatusReply& reply);
