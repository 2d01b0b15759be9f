#include "CameraFleet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

CameraFleet::CameraFleet(const TempDir& dir, const std::vector<std::vector<std::string>>& cameraFlags) : m_dir(dir)
{
    for (std::size_t i = 0; i < cameraFlags.size(); ++i) {
        m_saveDirs.push_back(dir.Path("camera-" + std::to_string(i)));
        std::vector<std::string> flags = {"--save", m_saveDirs.back()};
        flags.insert(flags.end(), cameraFlags[i].begin(), cameraFlags[i].end());
        m_cameras.push_back(std::make_unique<SimProcess>(flags));
    }
}

bool CameraFleet::AllListening() const
{
    for (const auto& camera : m_cameras)
        if (camera->Port() == 0)
            return false;
    return true;
}

std::string CameraFleet::Label(std::size_t camera) const
{
    return "127.0.0.1:" + std::to_string(m_cameras[camera]->Port());
}

std::string CameraFleet::SavedImage(std::size_t camera, int session) const
{
    return ReadWholeFile(m_saveDirs[camera] + "/session-" + std::to_string(session) + ".frm");
}

std::string CameraFleet::WriteTargets(const std::string& name, const std::vector<std::string>& extraLines) const
{
    std::string text = "# cameras of the test, one per line\n\n";
    for (std::size_t i = 0; i < m_cameras.size(); ++i)
        text += Label(i) + (i % 2 ? "   # an entry with a comment\n" : "\n");
    for (const std::string& line : extraLines)
        text += line + "\n";
    return m_dir.Write(name, text);
}

RefusingPort::RefusingPort()
{
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        m_port = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort()
{
    if (m_fd >= 0)
        close(m_fd);
}

namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

std::string CameraObject(const std::string& jsonOut, const std::string& label)
{
    const std::string marker = "{\"type\":\"camera\",\"target\":\"" + label + "\",";
    for (const std::string& line : SplitLines(jsonOut))
        if (line.rfind(marker, 0) == 0)
            return line;
    return "";
}

std::string SummaryObject(const std::string& jsonOut)
{
    for (const std::string& line : SplitLines(jsonOut))
        if (line.rfind("{\"type\":\"summary\",", 0) == 0)
            return line;
    return "";
}

std::string TableRow(const std::string& text, const std::string& label)
{
    for (const std::string& line : SplitLines(text))
        if (line.rfind(label + " ", 0) == 0)
            return line;
    return "";
}

int MostAtOnce(const std::string& plainStderr, const std::vector<std::string>& labels)
{
    int running = 0, most = 0;
    for (const std::string& line : SplitLines(plainStderr)) {
        for (const std::string& label : labels) {
            if (line == label + ": session started")
                most = std::max(most, ++running);
            else
                for (const char* verdict : {"completed", "failed", "error", "stopped"})
                    if (line.rfind(label + ": " + verdict + " after ", 0) == 0)
                        --running;
        }
    }
    return most;
}
