#include "UntouchedPort.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kBacklog = 8;
constexpr std::size_t kReadChunk = 4096;
} // namespace

UntouchedPort::UntouchedPort()
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_fd, kBacklog) != 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        fcntl(m_fd, F_SETFL, O_NONBLOCK) != 0)
        return;
    m_port = ntohs(address.sin_port);
}

UntouchedPort::~UntouchedPort()
{
    if (m_fd >= 0)
        close(m_fd);
}

UntouchedPort::Visits UntouchedPort::Collect()
{
    Visits visits;
    for (;;) {
        const int client = accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0)
            break;
        ++visits.connections;
        char chunk[kReadChunk];
        ssize_t n;
        while ((n = recv(client, chunk, sizeof chunk, 0)) > 0)
            visits.received.append(chunk, static_cast<std::size_t>(n));
        close(client);
    }
    return visits;
}
