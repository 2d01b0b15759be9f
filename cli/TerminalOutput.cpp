#include "TerminalOutput.h"

#include "ProgressFormat.h"

namespace {

// Redraws closer together than this are skipped; the eye cannot follow them and a slow terminal lags.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// Plain lines: one line each time the stage passes another step of this many percent.
constexpr int kLineStepPercent = 10;
// Below this the elapsed time says nothing about the rate.
constexpr double kMinRateSeconds = 0.05;
constexpr char kClearToEndOfLine[] = "\x1b[K";

} // namespace

TerminalOutput::TerminalOutput(std::FILE* out, std::FILE* err, StderrMode mode) : m_out(out), m_err(err), m_mode(mode)
{
}

void TerminalOutput::Message(const std::string& text)
{
    CloseBar();
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void TerminalOutput::Status(const ProgressState& state)
{
    if (m_mode == StderrMode::Lines) {
        m_lastStep = 0;
        std::fprintf(m_err, "%s\n", state.status.c_str());
        std::fflush(m_err);
        return;
    }
    // The bar shows the new text with the next position report, which always follows a new range.
    Record(state);
}

void TerminalOutput::Range(const ProgressState& state)
{
    // The position that comes with a new range is still the old one; the next position report draws.
    m_lastStep = 0;
    Record(state);
}

void TerminalOutput::Position(const ProgressState& state)
{
    if (state.transfer && !m_transferTimed) {
        m_transferTimed = true;
        m_transferStart = Clock::now();
    }
    Record(state);
    if (m_mode == StderrMode::Lines) {
        PrintLineAtStep(state);
    } else if (m_mode == StderrMode::Bar) {
        const bool edge = state.position == 0 || state.position >= state.high;
        if (edge || !m_barOpen || Clock::now() - m_lastDraw >= kRedrawInterval)
            DrawBar(state);
    }
}

void TerminalOutput::Result(const RunResult& result)
{
    CloseBar();
    if (m_mode != StderrMode::Quiet && !result.interruption.empty()) {
        std::fprintf(m_err, "upgrader-cli: stopped by %s\n", result.interruption.c_str());
        std::fflush(m_err);
    }
}

void TerminalOutput::Record(const ProgressState& state)
{
    // A new stage keeps the last picture of the one before on a line of its own.
    if (m_barOpen && state.status != m_barStatus)
        CloseBar();
    m_latest = state;
    m_barStale = true;
}

void TerminalOutput::DrawBar(const ProgressState& state)
{
    if (state.status.empty())
        return; // nothing to name the bar by yet
    std::fprintf(m_err, "\r%s%s", ProgressLine(state, Rate(state), true).c_str(), kClearToEndOfLine);
    std::fflush(m_err);
    m_barOpen = true;
    m_barStale = false;
    m_barStatus = state.status;
    m_lastDraw = Clock::now();
}

void TerminalOutput::PrintLineAtStep(const ProgressState& state)
{
    if (state.status.empty())
        return;
    const int step = PercentOf(state) / kLineStepPercent;
    if (step <= m_lastStep)
        return;
    m_lastStep = step;
    std::fprintf(m_err, "%s\n", ProgressLine(state, Rate(state), false).c_str());
    std::fflush(m_err);
}

void TerminalOutput::CloseBar()
{
    if (!m_barOpen)
        return;
    if (m_barStale)
        DrawBar(m_latest);
    std::fputc('\n', m_err);
    std::fflush(m_err);
    m_barOpen = false;
}

double TerminalOutput::Rate(const ProgressState& state) const
{
    if (!state.transfer || !m_transferTimed)
        return -1;
    const double seconds = std::chrono::duration<double>(Clock::now() - m_transferStart).count();
    return seconds < kMinRateSeconds ? -1 : static_cast<double>(state.bytesDone) / seconds;
}
