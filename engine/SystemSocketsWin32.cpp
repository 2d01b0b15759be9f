#include "SystemSockets.h"

#include <winsock2.h>

#include <climits>

namespace {

// Used when the stop signal has no wake handle: waits are cut into slices so a stop is still seen.
constexpr long FALLBACK_SLICE_US = 50 * 1000;
// What a stopped call reports, as a cancelled blocking call does on Winsock.
constexpr int STOPPED_ERROR = WSAEINTR;
// send and recv take an int count.
constexpr std::size_t MAX_CALL_BYTES = INT_MAX;

SOCKET Sock(SocketHandle sock) { return static_cast<SOCKET>(sock); }

int CallSize(std::size_t len) { return static_cast<int>(len < MAX_CALL_BYTES ? len : MAX_CALL_BYTES); }

// Winsock has no per-call "don't wait" flag; a socket made elsewhere (a test's, say) may still be blocking,
// and one blocking call would make the stop request powerless.
bool MakeNonBlocking(SocketHandle sock)
{
    u_long nonBlocking = 1;
    return ioctlsocket(Sock(sock), FIONBIO, &nonBlocking) == 0;
}

} // namespace

SystemSockets::SystemSockets(const StopSignal& stop) : m_stop(stop)
{
}

SystemSockets::~SystemSockets() = default;

void SystemSockets::OnStopRequested()
{
    // Every wait here is a select that includes the stop signal's wake socket: nothing to shut down.
}

int SystemSockets::Fail(int error)
{
    m_lastError = error;
    return SOCKET_ERROR_RESULT;
}

// select rather than WSAPoll: WSAPoll on older Windows never reports a refused connection attempt, while
// select names it in the exception set.
SystemSockets::Wait SystemSockets::WaitFor(SocketHandle sock, bool forWriting)
{
    for (;;) {
        if (m_stop.Requested())
            return Wait::Stopped;
        fd_set readable;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        if (forWriting) {
            FD_SET(Sock(sock), &writable);
            FD_SET(Sock(sock), &failed);
        } else {
            FD_SET(Sock(sock), &readable);
        }
        const bool canWake = m_stop.WakeHandle() >= 0;
        if (canWake)
            FD_SET(Sock(m_stop.WakeHandle()), &readable);
        timeval slice{0, FALLBACK_SLICE_US};
        const int ready = select(0, &readable, &writable, &failed, canWake ? nullptr : &slice);
        if (ready == SOCKET_ERROR) {
            m_lastError = WSAGetLastError();
            return Wait::Failed;
        }
        if (m_stop.Requested())
            return Wait::Stopped;
        if (FD_ISSET(Sock(sock), &readable) || FD_ISSET(Sock(sock), &writable) || FD_ISSET(Sock(sock), &failed))
            return Wait::Ready; // errors and resets are reported by the call that follows
    }
}

SocketHandle SystemSockets::Socket()
{
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) // systems that lack the no-inherit flag
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return INVALID_SOCKET_HANDLE;
    }
    // Non-blocking underneath, so that every wait goes through WaitFor and can be stopped.
    const SocketHandle handle = static_cast<SocketHandle>(s);
    if (!MakeNonBlocking(handle)) {
        m_lastError = WSAGetLastError();
        closesocket(s);
        return INVALID_SOCKET_HANDLE;
    }
    return handle;
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
    if (!MakeNonBlocking(sock))
        return Fail(WSAGetLastError());
    if (connect(Sock(sock), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return 0;
    const int started = WSAGetLastError();
    if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS)
        return Fail(started);
    switch (WaitFor(sock, true)) {
    case Wait::Stopped:
        return Fail(STOPPED_ERROR);
    case Wait::Failed:
        return SOCKET_ERROR_RESULT;
    case Wait::Ready:
        break;
    }
    int error = 0;
    int size = sizeof error;
    if (getsockopt(Sock(sock), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        return Fail(WSAGetLastError());
    return error == 0 ? 0 : Fail(error);
}

long SystemSockets::Send(SocketHandle sock, const void* data, std::size_t len)
{
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    if (!MakeNonBlocking(sock))
        return Fail(WSAGetLastError());
    // A blocking send hands over the whole block before it returns; so does this, one wait at a time.
    // Winsock raises no signal for a broken connection, so there is nothing to suppress.
    while (sent < len) {
        if (m_stop.Requested())
            return Fail(STOPPED_ERROR);
        const int n = send(Sock(sock), bytes + sent, CallSize(len - sent), 0);
        if (n != SOCKET_ERROR) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            if (sent > 0) {
                m_lastError = error;
                return static_cast<long>(sent);
            }
            return Fail(error);
        }
        const Wait wait = WaitFor(sock, true);
        if (wait == Wait::Stopped)
            return Fail(STOPPED_ERROR);
        if (wait == Wait::Failed)
            return SOCKET_ERROR_RESULT;
    }
    return static_cast<long>(sent);
}

long SystemSockets::Recv(SocketHandle sock, void* buf, std::size_t len)
{
    if (!MakeNonBlocking(sock))
        return Fail(WSAGetLastError());
    for (;;) {
        const Wait wait = WaitFor(sock, false);
        if (wait == Wait::Stopped)
            return Fail(STOPPED_ERROR);
        if (wait == Wait::Failed)
            return SOCKET_ERROR_RESULT;
        const int n = recv(Sock(sock), static_cast<char*>(buf), CallSize(len), 0);
        if (n != SOCKET_ERROR)
            return n;
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            return Fail(error);
    }
}

int SystemSockets::CloseSocket(SocketHandle sock)
{
    if (closesocket(Sock(sock)) != 0)
        return Fail(WSAGetLastError());
    return 0;
}
