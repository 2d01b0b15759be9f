#include "SystemSockets.h"

#include <winsock2.h>

#include <climits>

// Every send and receive is overlapped and waits on its completion event together with the stop signal's
// event. A receive is therefore always pending while the session waits, which is what makes Winsock (and
// Wine) report a reset arriving meanwhile as an error rather than as an orderly close.
namespace {

// Used when the stop signal has no event: waits are cut into slices so a stop is still seen.
constexpr DWORD FALLBACK_SLICE_MS = 50;
// What a stopped call reports, as a cancelled blocking call does on Winsock.
constexpr int STOPPED_ERROR = WSAEINTR;
// Counts are returned as int and long.
constexpr std::size_t MAX_CALL_BYTES = INT_MAX;
constexpr DWORD IO_EVENT_INDEX = WAIT_OBJECT_0;

SOCKET Sock(SocketHandle sock) { return static_cast<SOCKET>(sock); }

ULONG CallSize(std::size_t len) { return static_cast<ULONG>(len < MAX_CALL_BYTES ? len : MAX_CALL_BYTES); }

// One completion event per thread: a thread waits on one operation at a time, and an event made per call
// would cost two more system calls for every reply.
class IoEvent {
public:
    IoEvent() : m_event(WSACreateEvent()) {}
    ~IoEvent()
    {
        if (m_event != WSA_INVALID_EVENT)
            WSACloseEvent(m_event);
    }
    IoEvent(const IoEvent&) = delete;
    IoEvent& operator=(const IoEvent&) = delete;
    WSAEVENT Get() const { return m_event; }

private:
    WSAEVENT m_event;
};

WSAEVENT ThreadIoEvent()
{
    thread_local const IoEvent event;
    return event.Get();
}

enum class Waited { Ready, Stopped, Failed };

// Waits until the event is set or a stop is requested.
Waited WaitForEventOrStop(WSAEVENT event, const StopSignal& stop, int& error)
{
    const bool canWake = stop.WakeHandle() >= 0;
    const HANDLE handles[] = {event, canWake ? reinterpret_cast<HANDLE>(stop.WakeHandle()) : nullptr};
    const DWORD count = canWake ? 2 : 1;
    for (;;) {
        if (stop.Requested())
            return Waited::Stopped;
        const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, canWake ? INFINITE : FALLBACK_SLICE_MS);
        if (woken == WAIT_FAILED) {
            error = static_cast<int>(GetLastError());
            return Waited::Failed;
        }
        if (woken == IO_EVENT_INDEX)
            return Waited::Ready;
        // The stop's event, or a slice that ran out: the loop's first check tells which.
    }
}

// The buffer of an overlapped call stays in use until the call completes, also when it is cancelled: wait
// for that before the caller may return.
void CancelAndWait(SOCKET s, WSAOVERLAPPED& overlapped)
{
    CancelIoEx(reinterpret_cast<HANDLE>(s), &overlapped);
    DWORD count = 0;
    DWORD flags = 0;
    WSAGetOverlappedResult(s, &overlapped, &count, TRUE, &flags);
}

// A receive that returns nothing means the peer closed or reset the connection. Wine reads a reset that arrived
// before the receive was made as a close, yet still fails a send; a send of nothing tells the two apart and
// puts nothing on the wire. Windows itself reports the reset from the receive, and sending nothing succeeds.
long ClosedOrReset(SOCKET s, int& error)
{
    static const char nothing[1] = {};
    if (send(s, nothing, 0, 0) == SOCKET_ERROR) {
        error = WSAGetLastError();
        return SOCKET_ERROR_RESULT;
    }
    return 0;
}

bool SetBlocking(SOCKET s, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

} // namespace

SystemSockets::SystemSockets(const StopSignal& stop) : m_stop(stop)
{
}

SystemSockets::~SystemSockets() = default;

void SystemSockets::OnStopRequested()
{
    // Every wait here includes the stop signal's event, and the waiting thread cancels its own operation.
}

int SystemSockets::Fail(int error)
{
    m_lastError = error;
    return SOCKET_ERROR_RESULT;
}

SocketHandle SystemSockets::Socket()
{
    // Overlapped, so that sends and receives can be waited for together with the stop.
    SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) // systems that lack the no-inherit flag
        s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        m_lastError = WSAGetLastError();
        return INVALID_SOCKET_HANDLE;
    }
    return static_cast<SocketHandle>(s);
}

std::uint32_t SystemSockets::InetAddr(const std::string& text)
{
    return inet_addr(text.c_str());
}

// The attempt runs with its completion selected onto an event, which names a refused connection in its error
// code; the socket is blocking again afterwards, as the overlapped calls expect nothing else of it.
int SystemSockets::Connect(SocketHandle sock, const Ipv4Endpoint& peer)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(peer.port);
    address.sin_addr.s_addr = peer.address;
    const SOCKET s = Sock(sock);
    const WSAEVENT event = ThreadIoEvent();
    if (event == WSA_INVALID_EVENT)
        return Fail(WSAGetLastError());
    WSAResetEvent(event);
    if (WSAEventSelect(s, event, FD_CONNECT) != 0)
        return Fail(WSAGetLastError());
    const int result = [&] {
        if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            return 0;
        const int started = WSAGetLastError();
        if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS)
            return Fail(started);
        for (;;) {
            int error = 0;
            switch (WaitForEventOrStop(event, m_stop, error)) {
            case Waited::Stopped:
                return Fail(STOPPED_ERROR);
            case Waited::Failed:
                return Fail(error);
            case Waited::Ready:
                break;
            }
            WSANETWORKEVENTS happened{};
            if (WSAEnumNetworkEvents(s, event, &happened) != 0)
                return Fail(WSAGetLastError());
            if (happened.lNetworkEvents & FD_CONNECT) {
                const int outcome = happened.iErrorCode[FD_CONNECT_BIT];
                return outcome == 0 ? 0 : Fail(outcome);
            }
        }
    }();
    // Undoing the selection is what allows the socket to block again.
    if (WSAEventSelect(s, nullptr, 0) != 0 || !SetBlocking(s, true))
        return result == 0 ? Fail(WSAGetLastError()) : result;
    return result;
}

long SystemSockets::Send(SocketHandle sock, const void* data, std::size_t len)
{
    const auto* bytes = static_cast<const char*>(data);
    const SOCKET s = Sock(sock);
    const WSAEVENT event = ThreadIoEvent();
    if (event == WSA_INVALID_EVENT)
        return Fail(WSAGetLastError());
    std::size_t sent = 0;
    // A blocking send hands over the whole block before it returns; an overlapped one too, but go on should
    // it report less. Winsock raises no signal for a broken connection, so there is nothing to suppress.
    while (sent < len) {
        if (m_stop.Requested())
            return Fail(STOPPED_ERROR);
        WSABUF piece{CallSize(len - sent), const_cast<char*>(bytes + sent)};
        WSAOVERLAPPED overlapped{};
        overlapped.hEvent = event;
        WSAResetEvent(event);
        DWORD count = 0;
        DWORD flags = 0;
        int error = 0;
        bool done = WSASend(s, &piece, 1, &count, 0, &overlapped, nullptr) == 0;
        if (!done) {
            error = WSAGetLastError();
            if (error == WSA_IO_PENDING) {
                const Waited waited = WaitForEventOrStop(event, m_stop, error);
                if (waited != Waited::Ready) {
                    CancelAndWait(s, overlapped);
                    return Fail(waited == Waited::Stopped ? STOPPED_ERROR : error);
                }
                done = WSAGetOverlappedResult(s, &overlapped, &count, FALSE, &flags) != FALSE;
                if (!done)
                    error = WSAGetLastError();
            }
        }
        if (!done) {
            if (sent > 0) {
                m_lastError = error;
                return static_cast<long>(sent);
            }
            return Fail(error);
        }
        sent += count;
    }
    return static_cast<long>(sent);
}

long SystemSockets::Recv(SocketHandle sock, void* buf, std::size_t len)
{
    if (m_stop.Requested())
        return Fail(STOPPED_ERROR);
    const SOCKET s = Sock(sock);
    const WSAEVENT event = ThreadIoEvent();
    if (event == WSA_INVALID_EVENT)
        return Fail(WSAGetLastError());
    WSABUF space{CallSize(len), static_cast<char*>(buf)};
    WSAOVERLAPPED overlapped{};
    overlapped.hEvent = event;
    WSAResetEvent(event);
    DWORD count = 0;
    DWORD flags = 0;
    int error = 0;
    if (WSARecv(s, &space, 1, &count, &flags, &overlapped, nullptr) != 0) {
        error = WSAGetLastError();
        if (error != WSA_IO_PENDING)
            return Fail(error);
        const Waited waited = WaitForEventOrStop(event, m_stop, error);
        if (waited != Waited::Ready) {
            CancelAndWait(s, overlapped);
            return Fail(waited == Waited::Stopped ? STOPPED_ERROR : error);
        }
        if (!WSAGetOverlappedResult(s, &overlapped, &count, FALSE, &flags))
            return Fail(WSAGetLastError());
    }
    if (count == 0 && len > 0 && ClosedOrReset(s, error) == SOCKET_ERROR_RESULT)
        return Fail(error);
    return static_cast<long>(count);
}

int SystemSockets::CloseSocket(SocketHandle sock)
{
    if (closesocket(Sock(sock)) != 0)
        return Fail(WSAGetLastError());
    return 0;
}
