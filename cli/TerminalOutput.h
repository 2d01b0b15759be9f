// Text output: messages on stdout, exactly and nothing else; status and progress on stderr, as a redrawn
// bar on a terminal, as plain lines otherwise, or not at all.
#pragma once

#include "CliOutput.h"

#include <chrono>
#include <cstdio>
#include <string>

enum class StderrMode { Bar, Lines, Quiet };

class TerminalOutput : public CliOutput {
public:
    TerminalOutput(std::FILE* out, std::FILE* err, StderrMode mode);

    void Message(const std::string& text) override;
    void Status(const ProgressState& state) override;
    void Range(const ProgressState& state) override;
    void Position(const ProgressState& state) override;
    void Result(const RunResult& result) override;

private:
    using Clock = std::chrono::steady_clock;

    void Record(const ProgressState& state);
    void DrawBar(const ProgressState& state);
    void PrintLineAtStep(const ProgressState& state);
    void CloseBar();
    double Rate(const ProgressState& state) const;

    std::FILE* m_out;
    std::FILE* m_err;
    StderrMode m_mode;

    ProgressState m_latest;
    bool m_barOpen = false;     // a bar line is on the screen without its line break
    bool m_barStale = false;    // m_latest is newer than the bar on the screen
    std::string m_barStatus;
    Clock::time_point m_lastDraw;
    int m_lastStep = 0;         // Lines: the last step of the current stage that got its line
    bool m_transferTimed = false;
    Clock::time_point m_transferStart;
};
