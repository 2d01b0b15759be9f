#include "PasswordSource.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr char kDefaultPassword[] = "tovel";
constexpr char kPasswordVariable[] = "UPGRADER_PASSWORD";
// Far beyond the 15 characters a camera takes; a longer line is refused by the session's own check,
// and a file without line breaks (a device, say) is never read whole.
constexpr std::size_t kMaxLineBytes = 4096;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

PasswordLookup ResolvePassword(const std::string& passwordFile)
{
    PasswordLookup lookup;
    if (passwordFile.empty()) {
        const char* fromEnvironment = std::getenv(kPasswordVariable);
        lookup.password = fromEnvironment ? fromEnvironment : kDefaultPassword;
        return lookup;
    }
    std::FILE* raw = std::fopen(passwordFile.c_str(), "rb");
    if (!raw) {
        lookup.error = "cannot read the password file '" + passwordFile + "': " + std::strerror(errno);
        return lookup;
    }
    const std::unique_ptr<std::FILE, FileCloser> file(raw);
    std::string line;
    for (int c; line.size() < kMaxLineBytes && (c = std::fgetc(raw)) != EOF && c != '\n';)
        line += static_cast<char>(c);
    if (std::ferror(raw)) {
        lookup.error = "cannot read the password file '" + passwordFile + "': " + std::strerror(errno);
        return lookup;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    lookup.password = line;
    return lookup;
}
