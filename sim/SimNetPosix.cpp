#include "SimNet.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kListenBacklog = 16;

volatile std::sig_atomic_t g_stopRequested = 0;
int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    g_stopRequested = 1;
    // The byte is never read: the pipe stays readable and wakes every later wait as well.
    const int saved = errno;
    const char byte = 1;
    if (g_stopPipe[1] >= 0 && write(g_stopPipe[1], &byte, 1) < 0) {
        // Nothing to do: the flag above is still seen by the next wait.
    }
    errno = saved;
}

void MakeNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

WaitResult WaitFor(int fd, short events, int timeoutMs)
{
    for (;;) {
        if (g_stopRequested)
            return WaitResult::Stopped;
        pollfd fds[2] = {};
        nfds_t count = 0;
        if (fd >= 0)
            fds[count++] = pollfd{fd, events, 0};
        if (g_stopPipe[0] >= 0)
            fds[count++] = pollfd{g_stopPipe[0], POLLIN, 0};
        const int ready = poll(fds, count, timeoutMs < 0 ? -1 : timeoutMs);
        if (g_stopRequested)
            return WaitResult::Stopped;
        if (ready < 0) {
            if (errno == EINTR)
                continue; // a handler ran; the loop head looks at the flag
            return WaitResult::Failed;
        }
        if (ready == 0)
            return WaitResult::TimedOut;
        if (fd >= 0 && fds[0].revents != 0)
            return WaitResult::Ready;
    }
}

} // namespace

bool InstallStopHandlers(std::string& error)
{
    if (pipe(g_stopPipe) != 0) {
        error = std::string("cannot create the stop pipe: ") + std::strerror(errno);
        return false;
    }
    for (int fd : g_stopPipe) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        MakeNonBlocking(fd);
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM}) {
        if (sigaction(sig, &action, nullptr) != 0) {
            error = std::string("cannot install the signal handlers: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool StopRequested()
{
    return g_stopRequested != 0;
}

Listener OpenListener(const std::string& ipv4, std::uint16_t port)
{
    Listener listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, ipv4.c_str(), &address.sin_addr) != 1) {
        listener.error = "not an IPv4 address: " + ipv4;
        return listener;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        listener.error = std::string("socket: ") + std::strerror(errno);
        return listener;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, kListenBacklog) != 0) {
        listener.error = "cannot listen on " + ipv4 + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return listener;
    }
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
    MakeNonBlocking(fd);
    listener.handle = fd;
    listener.port = ntohs(bound.sin_port);
    return listener;
}

WaitResult WaitReadable(NetHandle handle, int timeoutMs)
{
    return WaitFor(static_cast<int>(handle), POLLIN, timeoutMs);
}

WaitResult WaitWritable(NetHandle handle, int timeoutMs)
{
    return WaitFor(static_cast<int>(handle), POLLOUT, timeoutMs);
}

bool PauseUnlessStopped(int ms)
{
    return WaitFor(-1, 0, ms) != WaitResult::Stopped;
}

NetHandle AcceptClient(NetHandle listener, std::string& peer)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    const int fd = accept4(static_cast<int>(listener), reinterpret_cast<sockaddr*>(&address), &size,
                           SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return kNoHandle;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
    return fd;
}

long RecvSome(NetHandle handle, void* buf, std::size_t len)
{
    for (;;) {
        const ssize_t n = recv(static_cast<int>(handle), buf, len, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kNetError;
    }
}

long SendSome(NetHandle handle, const void* data, std::size_t len)
{
    for (;;) {
        const ssize_t n = send(static_cast<int>(handle), data, len, MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kNetError;
    }
}

bool HasDataWaiting(NetHandle handle)
{
    char byte;
    ssize_t n;
    do {
        n = recv(static_cast<int>(handle), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

void CloseGracefully(NetHandle handle)
{
    shutdown(static_cast<int>(handle), SHUT_WR);
    close(static_cast<int>(handle));
}

void CloseWithReset(NetHandle handle)
{
    const linger abort{1, 0};
    setsockopt(static_cast<int>(handle), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(static_cast<int>(handle));
}
