// What a fleet run shows while it runs, shared by every session thread. One lock guards it, and everything
// it prints is written whole lines at a time under that lock, so lines of different sessions never mix.
//
// Messages go to their own stream, each line prefixed with the camera's address. On stderr, a terminal
// gets one live line per running camera (address, phase, progress, elapsed time) under a footer with the
// counts, redrawn in place several times a second so a camera busy flashing is visibly alive; any other
// stderr gets plain lines at every new phase and every quarter of a phase; Quiet gets nothing.
#pragma once

#include "CliOutput.h"
#include "FleetReport.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class FleetStderr { Live, Lines, Quiet };
enum class ProgressEvent { Status, Range, Position };

class FleetDisplay {
public:
    // messages may be null: the messages are then only in the reports.
    FleetDisplay(std::FILE* messages, std::FILE* err, FleetStderr mode, const std::vector<Target>& targets);
    ~FleetDisplay();
    FleetDisplay(const FleetDisplay&) = delete;
    FleetDisplay& operator=(const FleetDisplay&) = delete;

    void Started(std::size_t camera);
    void Message(std::size_t camera, const std::string& text);
    void Progress(std::size_t camera, ProgressEvent event, const ProgressState& state);
    void Finished(std::size_t camera, CameraVerdict verdict);
    // Takes the live lines off the screen and stops redrawing; afterwards the caller owns the streams.
    void Close();

private:
    using Clock = std::chrono::steady_clock;

    struct Camera {
        std::string label;
        bool running = false;
        Clock::time_point started;
        ProgressState state;
        int lastQuarter = 0; // Lines: the last quarter of the current phase that got its line
    };

    void Redraw();  // lock held
    void Erase();   // lock held
    void PrintLine(std::FILE* stream, const std::string& line); // lock held; keeps the live lines below
    std::string LiveLine(const Camera& camera, Clock::time_point now) const;
    std::string Footer(std::size_t hidden) const;
    static std::string Elapsed(const Camera& camera, Clock::time_point now, bool aligned);
    void Tick();

    std::FILE* m_messages;
    std::FILE* m_err;
    const FleetStderr m_mode;

    std::mutex m_lock;
    std::vector<Camera> m_cameras;
    std::vector<std::size_t> m_runningOrder; // cameras on the live lines, oldest first
    std::size_t m_finished = 0;
    std::size_t m_completed = 0;
    int m_drawnLines = 0;
    bool m_closed = false;
    std::condition_variable m_wake;
    std::thread m_ticker;
};
