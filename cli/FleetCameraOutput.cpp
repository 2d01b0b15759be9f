#include "FleetCameraOutput.h"

#include "SessionMessages.h"

FleetCameraOutput::FleetCameraOutput(std::size_t camera, CameraReport& report, FleetDisplay& display)
    : m_camera(camera), m_report(report), m_display(display)
{
}

void FleetCameraOutput::Message(const std::string& text)
{
    m_report.messages.push_back(text);
    // The camera's own words arrive only inside the session's message for code 34.
    const std::string failedPrefix = msg::UpgradeFailed("");
    if (text.compare(0, failedPrefix.size(), failedPrefix) == 0) {
        m_report.hasCameraReason = true;
        m_report.cameraReason = text.substr(failedPrefix.size());
    }
    if (text == msg::kLoginDenied)
        ++m_report.failedLogins;
    m_display.Message(m_camera, text);
}

void FleetCameraOutput::Status(const ProgressState& state)
{
    m_report.phase = state.status;
    m_display.Progress(m_camera, ProgressEvent::Status, state);
}

void FleetCameraOutput::Range(const ProgressState& state)
{
    m_display.Progress(m_camera, ProgressEvent::Range, state);
}

void FleetCameraOutput::Position(const ProgressState& state)
{
    m_display.Progress(m_camera, ProgressEvent::Position, state);
}

void FleetCameraOutput::Result(const RunResult&)
{
    // The fleet's verdicts come together in one table at the end.
}
