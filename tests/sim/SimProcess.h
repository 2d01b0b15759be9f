// camera-sim, started by a test on a free port of 127.0.0.1.
#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Long enough for a sanitizer build on a busy machine; a hung child fails its test at this bound.
constexpr int kChildTimeoutMs = 30000;

std::string CameraSimPath();
std::string UpgraderCliPath();

class SimProcess {
public:
    // Runs camera-sim --listen 127.0.0.1:0 with the given flags and reads its port.
    explicit SimProcess(const std::vector<std::string>& flags);

    // 0 when it did not start or print its port.
    std::uint16_t Port() const { return m_port; }
    ChildProcess& Child() { return *m_child; }
    // Waits until the session log holds count lines.
    bool WaitForSessions(int count, int timeoutMs = kChildTimeoutMs);
    // SIGTERM, then the bounded wait; the session log is in Child().Stderr() afterwards.
    ChildExit Stop();

private:
    std::unique_ptr<ChildProcess> m_child;
    std::uint16_t m_port = 0;
};
