#include "FirmwareImage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

constexpr char kTagSkylark[] = "SKYLARK_FIRMWARE";
constexpr char kTagOrbQ48[] = "ORB_Q48_FIRMWARE";
constexpr char kTagOrbPrefix[] = "ORB_FIRMWARE_";
constexpr std::size_t kOrbPrefixLength = sizeof kTagOrbPrefix - 1;
constexpr std::size_t kOrbSuffixFirst = 2; // image bytes 2, 3 and 4 finish an 'M' tag
constexpr std::size_t kOrbSuffixLength = 3;
constexpr std::uint64_t kMaxDescribableLength = 0xFFFFFFFFull;

// Lanes of 32 bits cannot overflow within this many bytes (255 * 2^24 < 2^32).
constexpr std::size_t kChecksumBlock = std::size_t{1} << 24;

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

FirmwareLoad Failure(std::string message)
{
    FirmwareLoad load;
    load.error = std::move(message);
    return load;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

std::uint32_t ImageChecksum(const std::uint8_t* data, std::size_t length)
{
    // Eight independent lanes let the compiler keep the loop in vector registers.
    std::uint64_t total = 0;
    while (length > 0) {
        const std::size_t block = length < kChecksumBlock ? length : kChecksumBlock;
        std::uint32_t lanes[8] = {};
        std::size_t i = 0;
        for (; i + 8 <= block; i += 8)
            for (std::size_t lane = 0; lane < 8; ++lane)
                lanes[lane] += data[i + lane];
        for (; i < block; ++i)
            total += data[i];
        for (std::uint32_t lane : lanes)
            total += lane;
        data += block;
        length -= block;
    }
    return static_cast<std::uint32_t>(total);
}

bool WriteTypeTag(const std::uint8_t* image, std::size_t length, std::uint8_t* tagField)
{
    if (length == 0)
        return false;
    switch (image[0]) {
    case 'B':
    case 'F':
        std::memcpy(tagField, kTagSkylark, sizeof kTagSkylark);
        return true;
    case 'L':
        std::memcpy(tagField, kTagOrbQ48, sizeof kTagOrbQ48);
        return true;
    case 'M':
        std::memcpy(tagField, kTagOrbPrefix, kOrbPrefixLength);
        for (std::size_t k = 0; k < kOrbSuffixLength; ++k) {
            const std::size_t from = kOrbSuffixFirst + k;
            tagField[kOrbPrefixLength + k] = from < length ? image[from] : 0;
        }
        return true;
    default:
        return false;
    }
}

bool BuildUpgradeHeader(const std::uint8_t* image, std::uint32_t length, UpgradeHeader& header)
{
    header = UpgradeHeader{};
    std::uint8_t* b = header.bytes.data();
    if (!WriteTypeTag(image, length, b + HEADER_TYPE_TAG_OFFSET))
        return false;
    PutBigEndian32(b + HEADER_IMAGE_LENGTH_OFFSET, length);
    PutBigEndian32(b + HEADER_CHECKSUM_OFFSET, ImageChecksum(image, length));
    PutBigEndian32(b + HEADER_FRAGMENT_SIZE_OFFSET, FRAGMENT_SIZE);
    return true;
}

FirmwareLoad LoadFirmwareFile(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path fsPath(path);
    if (std::filesystem::is_directory(fsPath, ec))
        return Failure("Cannot read firmware file " + Quoted(path) + ": " + std::strerror(EISDIR));
    // Opening a pipe waits for a writer, and no stop request can end that wait; a device has no length to send.
    const std::filesystem::file_status status = std::filesystem::status(fsPath, ec);
    if (!ec && status.type() != std::filesystem::file_type::regular)
        return Failure("Cannot read firmware file " + Quoted(path) + ": not a regular file");

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return Failure("Cannot open firmware file " + Quoted(path) + ": " + std::strerror(errno));

    const std::uintmax_t size = std::filesystem::file_size(fsPath, ec);
    if (ec)
        return Failure("Cannot read firmware file " + Quoted(path) + ": " + ec.message());
    if (size > kMaxDescribableLength)
        return Failure("Firmware file " + Quoted(path) + " is too large: " + std::to_string(size) +
                       " bytes; the upgrade header can describe at most 4294967295 bytes");

    auto image = std::make_shared<FirmwareImage>();
    image->length = static_cast<std::uint32_t>(size);
    // Not zero-filled: every byte is overwritten by the read, or the load fails.
    image->bytes.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    if (!image->bytes)
        return Failure("Not enough memory to hold firmware file " + Quoted(path) + " (" + std::to_string(size) +
                       " bytes)");

    errno = 0;
    const std::size_t got = std::fread(image->bytes.get(), 1, size, file.get());
    if (got != size) {
        const std::string reason = std::ferror(file.get()) && errno != 0
            ? std::string(std::strerror(errno))
            : "only " + std::to_string(got) + " of " + std::to_string(size) + " bytes could be read";
        return Failure("Cannot read firmware file " + Quoted(path) + ": " + reason);
    }
    FirmwareLoad load;
    load.image = std::move(image);
    return load;
}
