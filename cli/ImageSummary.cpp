#include "ImageSummary.h"

#include "ExitCodes.h"
#include "FirmwareImage.h"
#include "JsonText.h"
#include "ProgressFormat.h"
#include "SessionMessages.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace {

constexpr std::uint64_t kMaxDescribableLength = 0xFFFFFFFFull;
constexpr std::size_t kReadChunk = 1024 * 1024;
// An 'M' tag takes image bytes 2 to 4, so the first five bytes decide every tag.
constexpr std::size_t kTagDecidingBytes = 5;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kLastPrintable = 0x7E;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

ImageInspection Failure(const std::string& path, const std::string& reason)
{
    ImageInspection inspection;
    inspection.error = "cannot read firmware file \"" + path + "\": " + reason;
    return inspection;
}

bool IsPrintable(std::uint8_t c)
{
    return c >= kFirstPrintable && c <= kLastPrintable;
}

// The tag's bytes up to its last non-zero one: an 'M' tag may hold a zero before its end.
std::size_t UsedTagBytes(const ImageFacts& facts)
{
    std::size_t used = facts.tagField.size();
    while (used > 0 && facts.tagField[used - 1] == 0)
        --used;
    return used;
}

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    return text;
}

std::string ByteDisplay(std::uint8_t c)
{
    const std::string hex = "0x" + Hex(c, 2);
    return IsPrintable(c) ? "'" + std::string(1, static_cast<char>(c)) + "' (" + hex + ")" : hex;
}

// The checksum field as it travels: most significant byte first.
std::string WireBytes(std::uint32_t value)
{
    std::uint8_t bytes[4];
    PutBigEndian32(bytes, value);
    std::string text;
    for (std::uint8_t b : bytes)
        text += (text.empty() ? "" : " ") + Hex(b, 2);
    return text;
}

std::string Pieces(const ImageFacts& f)
{
    return std::to_string(f.fullFragments + (f.finalPiece > 0 ? 1 : 0));
}

void PrintText(const std::string& path, const ImageFacts& f, std::FILE* out)
{
    if (!f.allowed)
        std::fprintf(out, "%s\n", msg::kNotAllowedFirmware);
    std::fprintf(out, "file:       %s\n", path.c_str());
    if (f.allowed)
        std::fprintf(out, "type tag:   %s, chosen by the first byte %s\n", TagDisplay(f).c_str(),
                     ByteDisplay(f.firstByte).c_str());
    else if (f.hasFirstByte)
        std::fprintf(out, "type tag:   none: the first byte %s selects no type tag\n", ByteDisplay(f.firstByte).c_str());
    else
        std::fprintf(out, "type tag:   none: the file is empty\n");
    std::fprintf(out, "length:     %llu bytes (%s)\n", static_cast<unsigned long long>(f.length),
                 FormatBytes(f.length).c_str());
    if (f.describable)
        std::fprintf(out, "checksum:   %u (0x%s), in the header %s\n", static_cast<unsigned>(f.checksum),
                     Hex(f.checksum, 8).c_str(), WireBytes(f.checksum).c_str());
    else
        std::fprintf(out, "checksum:   none: no header can carry this file\n");
    const std::string finalPiece =
        f.finalPiece > 0 ? "then a final piece of " + std::to_string(f.finalPiece) + " bytes" : "no final piece";
    std::fprintf(out, "fragments:  %llu of %u bytes, %s: %s pieces\n", static_cast<unsigned long long>(f.fullFragments),
                 static_cast<unsigned>(FRAGMENT_SIZE), finalPiece.c_str(), Pieces(f).c_str());
    if (f.describable)
        std::fprintf(out, "header:     can describe this file\n");
    else
        std::fprintf(out, "header:     cannot describe this file: its length field holds at most %llu bytes\n",
                     static_cast<unsigned long long>(kMaxDescribableLength));
}

void PrintJson(const std::string& path, const ImageFacts& f, std::FILE* out)
{
    std::string object = "{\"file\":" + JsonString(path) + ",\"allowed\":" + (f.allowed ? "true" : "false");
    if (!f.allowed)
        object += ",\"message\":" + JsonString(msg::kNotAllowedFirmware);
    object += ",\"first_byte\":" + (f.hasFirstByte ? std::to_string(f.firstByte) : std::string("null"));
    object += ",\"type_tag\":";
    if (f.allowed) {
        object += JsonString(std::string(reinterpret_cast<const char*>(f.tagField.data()), UsedTagBytes(f)));
    } else {
        object += "null";
    }
    object += ",\"length\":" + std::to_string(f.length);
    if (f.describable)
        object += ",\"checksum\":" + std::to_string(f.checksum) + ",\"checksum_hex\":\"" + Hex(f.checksum, 8) + "\"";
    else
        object += ",\"checksum\":null,\"checksum_hex\":null";
    object += ",\"fragment_size\":" + std::to_string(FRAGMENT_SIZE) + ",\"full_fragments\":" +
              std::to_string(f.fullFragments) + ",\"final_piece\":" + std::to_string(f.finalPiece) +
              ",\"pieces\":" + Pieces(f) + ",\"describable\":" + (f.describable ? "true" : "false") + "}";
    std::fprintf(out, "%s\n", object.c_str());
}

} // namespace

ImageInspection InspectImageFile(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return Failure(path, std::strerror(EISDIR));
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return Failure(path, std::strerror(errno));
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return Failure(path, ec.message());

    ImageInspection inspection;
    ImageFacts& f = inspection.facts;
    f.length = size;
    f.describable = size <= kMaxDescribableLength;
    f.fullFragments = size / FRAGMENT_SIZE;
    f.finalPiece = static_cast<std::uint32_t>(size % FRAGMENT_SIZE);

    // Past the header's limit the checksum means nothing: only the bytes that decide the tag are read.
    const std::uint64_t toRead = f.describable ? size : std::min<std::uint64_t>(size, kTagDecidingBytes);
    std::vector<std::uint8_t> chunk(kReadChunk);
    std::uint8_t head[kTagDecidingBytes] = {};
    std::uint64_t done = 0;
    std::uint32_t sum = 0;
    while (done < toRead) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), toRead - done));
        errno = 0;
        const std::size_t got = std::fread(chunk.data(), 1, want, file.get());
        if (got != want) {
            return Failure(path, std::ferror(file.get()) && errno != 0
                                     ? std::string(std::strerror(errno))
                                     : "it ended after " + std::to_string(done + got) + " of " +
                                           std::to_string(size) + " bytes");
        }
        for (std::size_t i = 0; done + i < kTagDecidingBytes && i < got; ++i)
            head[done + i] = chunk[i];
        sum += ImageChecksum(chunk.data(), got); // sums modulo 2^32 add up to the whole's
        done += got;
    }
    f.checksum = sum;
    f.hasFirstByte = size > 0;
    f.firstByte = head[0];
    f.allowed = WriteTypeTag(head, static_cast<std::size_t>(std::min<std::uint64_t>(size, kTagDecidingBytes)),
                             f.tagField.data());
    return inspection;
}

std::string TagDisplay(const ImageFacts& facts)
{
    const std::size_t used = UsedTagBytes(facts);
    std::string text;
    for (std::size_t i = 0; i < used; ++i) {
        const std::uint8_t c = facts.tagField[i];
        text += IsPrintable(c) && c != '\\' ? std::string(1, static_cast<char>(c)) : "\\x" + Hex(c, 2);
    }
    return text;
}

int RunInspection(const std::string& path, bool json, std::FILE* out, std::FILE* err)
{
    const ImageInspection inspection = InspectImageFile(path);
    if (!inspection.error.empty()) {
        if (json)
            std::fprintf(out, "{\"file\":%s,\"error\":%s}\n", JsonString(path).c_str(),
                         JsonString(inspection.error).c_str());
        std::fprintf(err, "upgrader-cli: %s\n", inspection.error.c_str());
        return kExitSessionEnded;
    }
    if (json)
        PrintJson(path, inspection.facts, out);
    else
        PrintText(path, inspection.facts, out);
    std::fflush(out);
    const ImageFacts& f = inspection.facts;
    return f.allowed && f.describable ? kExitCompleted : kExitSessionEnded;
}
