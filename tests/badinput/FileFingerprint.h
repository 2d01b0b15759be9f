// What a file is, cheaply enough for a sparse file of 4 GiB: its kind, mode, size, modification time and a hash of
// the bytes in its data regions. Two equal fingerprints mean nobody wrote to, truncated or replaced the file.
#pragma once

#include <cstdint>
#include <string>

struct FileFingerprint {
    enum class Kind { Missing, Regular, Directory, Other };
    Kind kind = Kind::Missing;
    std::uint32_t mode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    std::uint64_t digest = 0; // over each data region's offset and bytes; holes read as nothing

    bool operator==(const FileFingerprint& other) const;
    bool operator!=(const FileFingerprint& other) const { return !(*this == other); }
    std::string Describe() const;
};

FileFingerprint TakeFingerprint(const std::string& path);
