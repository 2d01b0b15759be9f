#include "SimProcess.h"

#include <csignal>
#include <cstdlib>

std::string CameraSimPath()
{
    return CAMERA_SIM_PATH;
}

std::string UpgraderCliPath()
{
    return UPGRADER_CLI_PATH;
}

SimProcess::SimProcess(const std::vector<std::string>& flags)
{
    ChildSetup setup;
    setup.argv = {CameraSimPath(), "--listen", "127.0.0.1:0"};
    setup.argv.insert(setup.argv.end(), flags.begin(), flags.end());
    m_child = std::make_unique<ChildProcess>(setup);
    std::string line;
    if (m_child->Started() && m_child->ReadStdoutLine(line, kChildTimeoutMs))
        m_port = static_cast<std::uint16_t>(std::atoi(line.c_str()));
}

bool SimProcess::WaitForSessions(int count, int timeoutMs)
{
    std::string marker;
    for (int i = 1; i <= count; ++i)
        marker = "session " + std::to_string(i) + " from";
    return m_child->WaitForStderr(marker, timeoutMs);
}

ChildExit SimProcess::Stop()
{
    m_child->Signal(SIGTERM);
    return m_child->Wait(kChildTimeoutMs);
}
