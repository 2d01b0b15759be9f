// The firmware image: the file read whole into memory, its type tag, its checksum and its header.
#pragma once

#include "Protocol.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct FirmwareImage {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t length = 0;

    const std::uint8_t* data() const { return bytes.get(); }
};

struct FirmwareLoad {
    std::shared_ptr<const FirmwareImage> image; // null when the load failed
    std::string error;                          // the operator's message when it failed
};

// Reads the whole file or fails with a message naming the path and the reason; never a partial image.
// Files the header cannot describe (4 GiB or more) are refused before any byte is read.
FirmwareLoad LoadFirmwareFile(const std::string& path);

// Sum of all bytes, each 0-255, modulo 2^32.
std::uint32_t ImageChecksum(const std::uint8_t* data, std::size_t length);

// Writes the tag chosen by the first byte into the 32-byte field; false when the image is not allowed
// (unknown first byte, or no first byte at all). Bytes an 'M' image lacks count as zero.
bool WriteTypeTag(const std::uint8_t* image, std::size_t length, std::uint8_t* tagField);

// The whole header, or false when the image is not allowed.
bool BuildUpgradeHeader(const std::uint8_t* image, std::uint32_t length, UpgradeHeader& header);
