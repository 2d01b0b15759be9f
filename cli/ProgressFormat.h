// The text of one progress report: status, an optional bar, percent, and for the transfer bytes and rate.
#pragma once

#include "CliOutput.h"

#include <cstdint>
#include <string>

// 0 to 100; a position beyond the range shows as full, and so does any position in the range 0 .. 0.
int PercentOf(const ProgressState& state);
// "512 B", "10.0 KiB", "4.0 MiB", "1.5 GiB".
std::string FormatBytes(std::uint64_t bytes);
// bytesPerSecond below 0 means unknown and gives an empty text.
std::string FormatRate(double bytesPerSecond);
// "Transferring Firmware  [#####-----]  52%  2.1 MiB / 4.0 MiB  8.3 MiB/s", the bar only withBar.
std::string ProgressLine(const ProgressState& state, double bytesPerSecond, bool withBar);
