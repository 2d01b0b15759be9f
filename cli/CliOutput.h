// What a terminal front end reports, whatever form it takes (text on two streams, or JSON lines).
#pragma once

#include <cstdint>
#include <string>

// The dialog's status line and progress bar as they stand.
struct ProgressState {
    std::string status;
    std::uint32_t high = 0; // the range is 0 .. high
    std::uint32_t position = 0;
    bool transfer = false;  // the image is going out: the byte counts below mean something
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

struct RunResult {
    int exitCode = 0;
    bool completed = false;
    std::string interruption; // "SIGINT", "SIGTERM", or empty
};

class CliOutput {
public:
    virtual ~CliOutput() = default;
    // A message the dialog would show in a message box.
    virtual void Message(const std::string& text) = 0;
    // The status line shows a new text.
    virtual void Status(const ProgressState& state) = 0;
    virtual void Range(const ProgressState& state) = 0;
    virtual void Position(const ProgressState& state) = 0;
    // The run is over; nothing follows.
    virtual void Result(const RunResult& result) = 0;
};
