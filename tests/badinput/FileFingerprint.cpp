#include "FileFingerprint.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;
constexpr std::size_t kReadChunk = 1 << 16;
constexpr std::int64_t kNanosPerSecond = 1000000000;
constexpr int kByteBits = 8;

void Mix(std::uint64_t& hash, const unsigned char* data, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        hash ^= data[i];
        hash *= kFnvPrime;
    }
}

void MixNumber(std::uint64_t& hash, std::uint64_t value)
{
    unsigned char bytes[sizeof value];
    for (std::size_t i = 0; i < sizeof value; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (kByteBits * i));
    Mix(hash, bytes, sizeof bytes);
}

// Hashes the data regions only, so a sparse file costs what it holds, not what it claims.
std::uint64_t DigestOfDataRegions(int fd, std::uint64_t size)
{
    std::uint64_t hash = kFnvOffset;
    unsigned char chunk[kReadChunk];
    off_t at = 0;
    while (static_cast<std::uint64_t>(at) < size) {
        const off_t data = lseek(fd, at, SEEK_DATA);
        if (data < 0)
            break; // ENXIO: only a hole is left
        off_t hole = lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            hole = static_cast<off_t>(size);
        MixNumber(hash, static_cast<std::uint64_t>(data));
        for (off_t pos = data; pos < hole;) {
            const std::size_t want = static_cast<std::size_t>(std::min<off_t>(hole - pos, kReadChunk));
            const ssize_t n = pread(fd, chunk, want, pos);
            if (n <= 0)
                return hash ^ static_cast<std::uint64_t>(errno);
            Mix(hash, chunk, static_cast<std::size_t>(n));
            pos += n;
        }
        at = hole;
    }
    return hash;
}

const char* KindName(FileFingerprint::Kind kind)
{
    switch (kind) {
    case FileFingerprint::Kind::Missing: return "missing";
    case FileFingerprint::Kind::Regular: return "file";
    case FileFingerprint::Kind::Directory: return "directory";
    case FileFingerprint::Kind::Other: return "other";
    }
    return "?";
}

} // namespace

bool FileFingerprint::operator==(const FileFingerprint& other) const
{
    return kind == other.kind && mode == other.mode && size == other.size && modifiedNs == other.modifiedNs &&
           inode == other.inode && digest == other.digest;
}

std::string FileFingerprint::Describe() const
{
    std::ostringstream out;
    out << KindName(kind) << ", mode " << std::oct << mode << std::dec << ", " << size << " bytes, modified "
        << modifiedNs << " ns, inode " << inode << ", digest " << std::hex << digest;
    return out.str();
}

FileFingerprint TakeFingerprint(const std::string& path)
{
    FileFingerprint print;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return print;
    print.kind = S_ISREG(info.st_mode)   ? FileFingerprint::Kind::Regular
                 : S_ISDIR(info.st_mode) ? FileFingerprint::Kind::Directory
                                         : FileFingerprint::Kind::Other;
    print.mode = info.st_mode;
    print.size = static_cast<std::uint64_t>(info.st_size);
    print.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNanosPerSecond + info.st_mtim.tv_nsec;
    print.inode = info.st_ino;
    if (print.kind != FileFingerprint::Kind::Regular)
        return print;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return print;
    print.digest = DigestOfDataRegions(fd, print.size);
    close(fd);
    return print;
}
