// Several camera-sim instances on 127.0.0.1, each scripted on its own, and a targets file that lists them.
#pragma once

#include "CliRun.h"

#include <memory>
#include <string>
#include <vector>

class CameraFleet {
public:
    // One camera per entry, started with these flags (and --save into a folder of its own).
    CameraFleet(const TempDir& dir, const std::vector<std::vector<std::string>>& cameraFlags);

    bool AllListening() const;
    std::size_t Size() const { return m_cameras.size(); }
    // "127.0.0.1:PORT", as upgrader-cli names the camera.
    std::string Label(std::size_t camera) const;
    std::string SavedImage(std::size_t camera, int session = 1) const;
    SimProcess& Camera(std::size_t camera) { return *m_cameras[camera]; }
    // A targets file listing every camera in order, with a comment and a blank line as operators write them.
    std::string WriteTargets(const std::string& name, const std::vector<std::string>& extraLines = {}) const;

private:
    const TempDir& m_dir;
    std::vector<std::unique_ptr<SimProcess>> m_cameras;
    std::vector<std::string> m_saveDirs;
};

// A port of 127.0.0.1 where nothing listens, held by a bound socket for the life of the object.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    std::uint16_t Port() const { return m_port; }
    std::string Label() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

// The {"type":"camera",...} line of upgrader-cli --json for the camera, or "" when there is none.
std::string CameraObject(const std::string& jsonOut, const std::string& label);
std::string SummaryObject(const std::string& jsonOut);
// The table row of the camera: the line that starts with its label followed by a space.
std::string TableRow(const std::string& text, const std::string& label);
// Plain stderr lines report each start and each end; the most sessions that ran at once by those lines.
int MostAtOnce(const std::string& plainStderr, const std::vector<std::string>& labels);
