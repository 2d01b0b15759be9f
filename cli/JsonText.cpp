#include "JsonText.h"

#include <cstdio>

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuationBits = 0x80;

void AppendEscaped(std::string& out, unsigned char c)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04X", c);
    out += text;
}

bool IsContinuation(unsigned char c)
{
    return (c & kContinuationMask) == kContinuationBits;
}

// The length of the valid UTF-8 sequence at i, or 0. Overlong forms, surrogates and code points above
// U+10FFFF are not valid.
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    unsigned char min2 = 0x80, max2 = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            min2 = 0xA0;
        if (lead == 0xED)
            max2 = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            min2 = 0x90;
        if (lead == 0xF4)
            max2 = 0x8F;
    } else {
        return 0;
    }
    if (i + length > s.size() || byte(i + 1) < min2 || byte(i + 1) > max2)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (!IsContinuation(byte(i + k)))
            return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string& bytes)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < kFirstPrintable || c == kDelete) {
            AppendEscaped(out, c);
        } else if (c < kContinuationBits) {
            out += static_cast<char>(c);
        } else if (const std::size_t length = Utf8SequenceAt(bytes, i)) {
            out.append(bytes, i, length);
            i += length;
            continue;
        } else {
            AppendEscaped(out, c);
        }
        ++i;
    }
    out += '"';
    return out;
}
