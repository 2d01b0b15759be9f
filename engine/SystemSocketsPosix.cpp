#include "SystemSockets.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Used when the stop signal has no wake handle: waits are cut into slices so a stop is still seen.
constexpr int FALLBACK_SLICE_MS = 50;

int Fd(SocketHandle sock) { return static_cast<int>(sock); }

} // namespace

SystemSockets::SystemSockets(const StopSignal& stop) : m_stop(stop)
{
    m_stop.Subscribe(this);
}

SystemSockets::~SystemSockets()
{
    m_stop.Unsubscribe(this);
}

bool SystemSockets::Track(SocketHandle sock)
{
    std::lock_guard<std::mutex> lock(m_trackedMutex);
    if (std::find(m_tracked.begin(), m_tracked.end(), sock) == m_tracked.end())
        m_tracked.push_back(sock);
    // Checked under the lock: either this sees the stop, or the stop sees this socket.
    return !m_stop.Requested();
}

void SystemSockets::OnStopRequested()
{
    // A blocked send or receive returns at once on a socket that is shut down.
    std::lock_guard<std::mutex> lock(m_trackedMutex);
    for (SocketHandle sock : m_tracked)
        shutdown(Fd(sock), SHUT_RDWR);
}

int SystemSockets::Fail(int error)
{
    m_lastError = error;
    return SOCKET_ERROR_RESULT;
}

SystemSockets::Wait SystemSockets::WaitFor(SocketHandle sock, bool forWriting)
{
    for (;;) {
        if (m_stop.Requested())
            return Wait::Stopped;
        pollfd fds[2] = {};
        fds[0].fd = Fd(sock);
        fds[0].events = forWriting ? POLLOUT : POLLIN;
        nfds_t count = 1;
        if (m_stop.WakeHandle() >= 0) {
            fds[1].fd = static_cast<int>(m_stop.WakeHandle());
            fds[1].events = POLLIN;
            count = 2;
        }
        const int ready = poll(fds, count, count == 2 ? -1 : FALLBACK_SLICE_MS);
        if (ready < 0 && errno != EINTR) {
            m_lastError = errno;
            return Wait::Failed;
        }
        if (m_stop.Requested())
            return Wait::Stopped;
        if (ready > 0 && fds[0].revents != 0)
            return Wait::Ready; // errors and hang-ups are reported by the call that follows
    }
}

SocketHandle SystemSockets::Socket()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_lastError = errno;
        return INVALID_SOCKET_HANDLE;
    }
    return fd;
}

std::uint32_t SystemSockets::InetAddr(const std::string& text)
{
    return inet_addr(text.c_str());
}

int SystemSockets::Connect(SocketHandle sock, const Ipv4Endpoint& peer)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(peer.port);
    address.sin_addr.s_addr = peer.address;
    // Connecting is the one wait that a shutdown does not end: it runs non-blocking, in a wait that includes
    // the stop signal's wake handle. Sending and receiving then block, which costs no extra call per reply.
    const int flags = fcntl(Fd(sock), F_GETFL);
    fcntl(Fd(sock), F_SETFL, flags | O_NONBLOCK);
    const int result = [&] {
        if (connect(Fd(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return 0;
        if (errno != EINPROGRESS && errno != EINTR)
            return Fail(errno);
        switch (WaitFor(sock, true)) {
        case Wait::Stopped:
            return Fail(ECANCELED);
        case Wait::Failed:
            return SOCKET_ERROR_RESULT;
        case Wait::Ready:
            break;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(Fd(sock), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            return Fail(errno);
        return error == 0 ? 0 : Fail(error);
    }();
    fcntl(Fd(sock), F_SETFL, flags);
    return result;
}

long SystemSockets::Send(SocketHandle sock, const void* data, std::size_t len)
{
    if (!Track(sock))
        return Fail(ECANCELED);
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    // A blocking send hands over the whole block before it returns; a signal may cut it short, so go on.
    while (sent < len) {
        const ssize_t n = send(Fd(sock), bytes + sent, len - sent, MSG_NOSIGNAL);
        if (m_stop.Requested())
            return Fail(ECANCELED);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        const int error = errno;
        if (sent > 0) {
            m_lastError = error;
            return static_cast<long>(sent);
        }
        return Fail(error);
    }
    return static_cast<long>(sent);
}

long SystemSockets::Recv(SocketHandle sock, void* buf, std::size_t len)
{
    if (!Track(sock))
        return Fail(ECANCELED);
    for (;;) {
        const ssize_t n = recv(Fd(sock), buf, len, 0);
        // A stop shuts the socket down, which reads like the peer's close: tell them apart.
        if (m_stop.Requested())
            return Fail(ECANCELED);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR)
            return Fail(errno);
    }
}

int SystemSockets::CloseSocket(SocketHandle sock)
{
    // Forgotten before it is closed, so that a stop never shuts down a descriptor that was reused.
    std::lock_guard<std::mutex> lock(m_trackedMutex);
    m_tracked.erase(std::remove(m_tracked.begin(), m_tracked.end(), sock), m_tracked.end());
    // No retry on EINTR: on Linux the descriptor is released whatever close reports.
    if (close(Fd(sock)) != 0)
        return Fail(errno);
    return 0;
}
