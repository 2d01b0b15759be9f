#include "TargetsFile.h"

#include "CliOptions.h"
#include "Protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace {

constexpr char kCommentStart = '#';
constexpr char kPortSeparator = ':';
constexpr std::size_t kMaxPortDigits = 5;
constexpr long kMinPort = 1;
constexpr long kMaxPort = 65535;
// A list of cameras is a few kilobytes; a larger file is not one (a device, an image named by mistake).
constexpr std::size_t kMaxTargetsFileBytes = 16 * 1024 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trimmed(const std::string& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// "1" to "65535" without sign, spaces or leading junk.
bool ParsePortNumber(const std::string& text, long& port)
{
    if (text.empty() || text.size() > kMaxPortDigits)
        return false;
    port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        port = port * 10 + (c - '0');
    }
    return port >= kMinPort && port <= kMaxPort;
}

std::string AddressText(const std::array<std::uint8_t, 4>& a)
{
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

std::string Where(const std::string& fileName, int line)
{
    return "targets file " + fileName + ", line " + std::to_string(line) + ": ";
}

} // namespace

TargetsParse ParseTargets(const std::string& text, const std::string& defaultPort, const std::string& fileName)
{
    TargetsParse parse;
    // The camera as the session will reach it: its address and the port number the session will take.
    std::map<std::pair<std::string, int>, int> seen;
    int lineNumber = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t newline = text.find('\n', at);
        const std::size_t end = newline == std::string::npos ? text.size() : newline;
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;

        const std::size_t comment = line.find(kCommentStart);
        if (comment != std::string::npos)
            line.erase(comment);
        const std::string entry = Trimmed(line);
        if (entry.empty())
            continue;

        Target target;
        target.line = lineNumber;
        const std::size_t colon = entry.find(kPortSeparator);
        const std::string addressPart = entry.substr(0, colon);
        long port = 0;
        const bool portGiven = colon != std::string::npos;
        if (!ParseIpv4Fields(addressPart, target.address) ||
            (portGiven && !ParsePortNumber(entry.substr(colon + 1), port))) {
            parse.targets.clear();
            parse.error = Where(fileName, lineNumber) + "'" + entry +
                          "' is not A.B.C.D or A.B.C.D:PORT (fields 0 to 255, port 1 to 65535)";
            return parse;
        }
        target.port = portGiven ? std::to_string(port) : defaultPort;
        target.label = AddressText(target.address) + kPortSeparator + target.port;

        const int effectivePort =
            AtoiSaturating(reinterpret_cast<const std::uint8_t*>(target.port.data()), target.port.size());
        const auto [where, fresh] = seen.emplace(std::make_pair(AddressText(target.address), effectivePort),
                                                 lineNumber);
        if (!fresh) {
            parse.targets.clear();
            parse.error = Where(fileName, lineNumber) + "'" + entry + "' names the camera of line " +
                          std::to_string(where->second) + " again; two sessions at once would fight over it";
            return parse;
        }
        parse.targets.push_back(std::move(target));
    }
    if (parse.targets.empty())
        parse.error = "targets file " + fileName + " names no camera";
    return parse;
}

TargetsParse ReadTargetsFile(const std::string& path, const std::string& defaultPort)
{
    TargetsParse parse;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        parse.error = "cannot read the targets file " + path + ": " + std::strerror(errno);
        return parse;
    }
    std::string text;
    char chunk[kReadChunk];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        text.append(chunk, got);
        if (text.size() > kMaxTargetsFileBytes) {
            parse.error = "the targets file " + path + " is larger than " + std::to_string(kMaxTargetsFileBytes) +
                          " bytes; it cannot be a list of cameras";
            return parse;
        }
    }
    if (std::ferror(file.get())) {
        parse.error = "cannot read the targets file " + path + ": " + std::strerror(errno);
        return parse;
    }
    return ParseTargets(text, defaultPort, path);
}
