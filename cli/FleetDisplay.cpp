#include "FleetDisplay.h"

#include "ProgressFormat.h"

#include <algorithm>
#include <system_error>

namespace {

// Often enough that the elapsed time visibly moves, rarely enough that a slow terminal keeps up.
constexpr auto kLiveRefresh = std::chrono::milliseconds(250);
// More lines than a small terminal holds cannot be moved back over; the rest are counted in the footer.
constexpr std::size_t kMaxLiveLines = 20;
// Narrower than any terminal, so a live line never wraps and the count of lines to erase stays right.
constexpr std::size_t kLiveLineWidth = 79;
constexpr std::size_t kLabelWidth = 21; // "255.255.255.255:65535"
constexpr int kStatusWidth = 22;        // the longest status text the session sets
constexpr int kQuarterPercent = 25;
constexpr int kElapsedWidth = 6; // live lines: the seconds line up up to "9999.9"
constexpr char kBeforeTransfer[] = "Logging in";
constexpr char kEraseToEnd[] = "\x1b[J";

std::string Padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

FleetDisplay::FleetDisplay(std::FILE* messages, std::FILE* err, FleetStderr mode, const std::vector<Target>& targets)
    : m_messages(messages), m_err(err), m_mode(mode)
{
    for (const Target& target : targets) {
        Camera camera;
        camera.label = target.label;
        m_cameras.push_back(std::move(camera));
    }
    if (m_mode != FleetStderr::Live)
        return;
    try {
        m_ticker = std::thread([this] { Tick(); });
    } catch (const std::system_error&) {
        // No ticker: the live lines are still redrawn at every start, end and message.
    }
}

FleetDisplay::~FleetDisplay()
{
    Close();
}

void FleetDisplay::Started(std::size_t camera)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Camera& c = m_cameras[camera];
    c.running = true;
    c.started = Clock::now();
    m_runningOrder.push_back(camera);
    if (m_mode == FleetStderr::Lines)
        PrintLine(m_err, c.label + ": session started");
    else if (m_mode == FleetStderr::Live)
        Redraw();
}

void FleetDisplay::Message(std::size_t camera, const std::string& text)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (!m_messages)
        return;
    // Every line of a message names its camera, also the lines inside one message.
    const std::string prefix = m_cameras[camera].label + ": ";
    std::string lines = prefix;
    for (char c : text) {
        lines += c;
        if (c == '\n')
            lines += prefix;
    }
    PrintLine(m_messages, lines);
}

void FleetDisplay::Progress(std::size_t camera, ProgressEvent event, const ProgressState& state)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Camera& c = m_cameras[camera];
    c.state = state;
    if (m_mode != FleetStderr::Lines)
        return; // the ticker draws the live lines
    const Clock::time_point now = Clock::now();
    switch (event) {
    case ProgressEvent::Status:
        c.lastQuarter = 0;
        PrintLine(m_err, c.label + ": " + state.status + "  (" + Elapsed(c, now, false) + ")");
        break;
    case ProgressEvent::Range:
        // The position that comes with a new range is still the old one; the next report tells.
        c.lastQuarter = 0;
        break;
    case ProgressEvent::Position: {
        const int quarter = PercentOf(state) / kQuarterPercent;
        if (state.status.empty() || quarter <= c.lastQuarter)
            break;
        c.lastQuarter = quarter;
        PrintLine(m_err, c.label + ": " + ProgressLine(state, -1, false) + "  (" + Elapsed(c, now, false) + ")");
        break;
    }
    }
}

void FleetDisplay::Finished(std::size_t camera, CameraVerdict verdict)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    Camera& c = m_cameras[camera];
    c.running = false;
    m_runningOrder.erase(std::remove(m_runningOrder.begin(), m_runningOrder.end(), camera), m_runningOrder.end());
    ++m_finished;
    if (verdict == CameraVerdict::Completed)
        ++m_completed;
    if (m_mode == FleetStderr::Lines)
        PrintLine(m_err, c.label + ": " + VerdictName(verdict) + " after " + Elapsed(c, Clock::now(), false));
    else if (m_mode == FleetStderr::Live)
        Redraw();
}

void FleetDisplay::Close()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed)
            return;
        m_closed = true;
    }
    m_wake.notify_all();
    if (m_ticker.joinable())
        m_ticker.join();
    const std::lock_guard<std::mutex> guard(m_lock);
    Erase();
    std::fflush(m_err);
}

void FleetDisplay::Tick()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_wake.wait_for(lock, kLiveRefresh, [this] { return m_closed; }))
        Redraw();
}

void FleetDisplay::Erase()
{
    if (m_drawnLines == 0)
        return;
    // To the start of the first live line, then clear everything below it.
    std::fprintf(m_err, "\x1b[%dF%s", m_drawnLines, kEraseToEnd);
    m_drawnLines = 0;
}

void FleetDisplay::Redraw()
{
    if (m_mode != FleetStderr::Live || m_closed)
        return;
    const Clock::time_point now = Clock::now();
    std::string block;
    int lines = 0;
    for (std::size_t i = 0; i < m_runningOrder.size() && i < kMaxLiveLines; ++i) {
        block += LiveLine(m_cameras[m_runningOrder[i]], now) + "\n";
        ++lines;
    }
    const std::size_t hidden = m_runningOrder.size() > kMaxLiveLines ? m_runningOrder.size() - kMaxLiveLines : 0;
    block += Footer(hidden).substr(0, kLiveLineWidth) + "\n";
    ++lines;
    Erase();
    std::fwrite(block.data(), 1, block.size(), m_err);
    std::fflush(m_err);
    m_drawnLines = lines;
}

void FleetDisplay::PrintLine(std::FILE* stream, const std::string& line)
{
    Erase();
    std::fflush(m_err);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    Redraw();
}

std::string FleetDisplay::LiveLine(const Camera& camera, Clock::time_point now) const
{
    std::string line = Padded(camera.label, kLabelWidth) + "  ";
    if (camera.state.status.empty()) {
        line += Padded(kBeforeTransfer, kStatusWidth) + "      ";
    } else {
        char progress[64];
        std::snprintf(progress, sizeof progress, "%-*s %3d%%  ", kStatusWidth, camera.state.status.c_str(),
                      PercentOf(camera.state));
        line += progress;
    }
    line += Elapsed(camera, now, true);
    return line.substr(0, kLiveLineWidth);
}

std::string FleetDisplay::Footer(std::size_t hidden) const
{
    std::string footer = std::to_string(m_finished) + " of " + std::to_string(m_cameras.size()) +
                         " cameras done (" + std::to_string(m_completed) + " completed), " +
                         std::to_string(m_runningOrder.size()) + " running";
    if (hidden > 0)
        footer += ", " + std::to_string(hidden) + " of them not shown";
    return footer;
}

std::string FleetDisplay::Elapsed(const Camera& camera, Clock::time_point now, bool aligned)
{
    char text[32];
    std::snprintf(text, sizeof text, "%*.1f s", aligned ? kElapsedWidth : 0,
                  std::chrono::duration<double>(now - camera.started).count());
    return text;
}
