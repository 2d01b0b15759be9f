// --inspect: what a firmware file is, as a session would announce it, without connecting to anything.
#pragma once

#include "Protocol.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

struct ImageFacts {
    std::uint64_t length = 0;
    bool hasFirstByte = false;
    std::uint8_t firstByte = 0;
    bool allowed = false; // the first byte selects a type tag
    std::array<std::uint8_t, HEADER_TYPE_TAG_SIZE> tagField{}; // as the header would carry it
    // The header's 32-bit length field can hold the length; only then is there a checksum to carry.
    bool describable = false;
    std::uint32_t checksum = 0; // the byte sum modulo 2^32, as the header's checksum field
    std::uint64_t fullFragments = 0;
    std::uint32_t finalPiece = 0; // bytes after the last full fragment; 0: no final piece
};

struct ImageInspection {
    ImageFacts facts;
    std::string error; // the file could not be read; no facts then
};

// Reads the file in pieces (never whole), so even a file too large for any header is inspected quickly:
// past the 32-bit limit only its first bytes are read.
ImageInspection InspectImageFile(const std::string& path);

// The tag's bytes up to its last non-zero byte, with every byte that is not printable ASCII as \xHH: an 'M'
// image may put any byte, a zero among them, into its tag.
std::string TagDisplay(const ImageFacts& facts);

// Prints the facts (text, or one JSON object) on out and returns the exit status: 0 when a session could
// send the file (allowed and describable), 1 otherwise or when it cannot be read.
int RunInspection(const std::string& path, bool json, std::FILE* out, std::FILE* err);
