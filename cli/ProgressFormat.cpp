#include "ProgressFormat.h"

#include <cstdio>

namespace {

constexpr int kFullPercent = 100;
constexpr int kBarCells = 30;
constexpr double kUnitStep = 1024.0;
const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
constexpr int kUnitCount = sizeof kUnits / sizeof kUnits[0];
// Every status text the session sets fits, so the bars of the stages line up.
constexpr int kStatusWidth = 22;

} // namespace

int PercentOf(const ProgressState& state)
{
    if (state.high == 0 || state.position >= state.high)
        return kFullPercent;
    return static_cast<int>(std::uint64_t{state.position} * kFullPercent / state.high);
}

std::string FormatBytes(std::uint64_t bytes)
{
    if (bytes < kUnitStep)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= kUnitStep && unit + 1 < kUnitCount) {
        value /= kUnitStep;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string FormatRate(double bytesPerSecond)
{
    if (bytesPerSecond < 0)
        return "";
    return FormatBytes(static_cast<std::uint64_t>(bytesPerSecond)) + "/s";
}

std::string ProgressLine(const ProgressState& state, double bytesPerSecond, bool withBar)
{
    const int percent = PercentOf(state);
    char head[64];
    std::snprintf(head, sizeof head, "%-*s ", kStatusWidth, state.status.c_str());
    std::string line = head;
    if (withBar) {
        const int filled = percent * kBarCells / kFullPercent;
        line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "] ";
    }
    char percentText[8];
    std::snprintf(percentText, sizeof percentText, "%3d%%", percent);
    line += percentText;
    if (state.transfer && state.bytesTotal > 0) {
        line += "  " + FormatBytes(state.bytesDone) + " / " + FormatBytes(state.bytesTotal);
        const std::string rate = FormatRate(bytesPerSecond);
        if (!rate.empty())
            line += "  " + rate;
    }
    return line;
}
