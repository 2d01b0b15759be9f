// The output of one camera's session in a fleet run: it keeps the camera's report (messages, the camera's
// reason, refused logins, phase) and passes everything on to the shared display. Used by the session's
// own thread only; the report is read after that thread has ended.
#pragma once

#include "CliOutput.h"
#include "FleetDisplay.h"
#include "FleetReport.h"

class FleetCameraOutput : public CliOutput {
public:
    FleetCameraOutput(std::size_t camera, CameraReport& report, FleetDisplay& display);

    void Message(const std::string& text) override;
    void Status(const ProgressState& state) override;
    void Range(const ProgressState& state) override;
    void Position(const ProgressState& state) override;
    void Result(const RunResult& result) override;

private:
    std::size_t m_camera;
    CameraReport& m_report;
    FleetDisplay& m_display;
};
