#include "SimNet.h"

#include "NetStartup.h"

#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <atomic>
#include <climits>

namespace {

constexpr int kListenBacklog = 16;
constexpr int kMillisPerSecond = 1000;
constexpr int kMicrosPerMilli = 1000;
// send and recv take an int count.
constexpr std::size_t kMaxCallBytes = INT_MAX;

std::atomic<bool> g_stopRequested{false};
// A UDP socket connected to itself: Winsock has no pipes, and a queued datagram keeps it readable, so it
// wakes every later wait as well.
SOCKET g_stopSocket = INVALID_SOCKET;

SOCKET Sock(NetHandle handle) { return static_cast<SOCKET>(handle); }

int CallSize(std::size_t len) { return static_cast<int>(len < kMaxCallBytes ? len : kMaxCallBytes); }

std::string ErrorText(int code)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty())
        message = "Winsock error";
    return message + " (" + std::to_string(code) + ")";
}

BOOL WINAPI OnConsoleControl(DWORD)
{
    // Ctrl-C, Ctrl-Break, closing the console, log-off and shut-down all end the simulator the same way.
    g_stopRequested = true;
    if (g_stopSocket != INVALID_SOCKET) {
        const char byte = 1;
        send(g_stopSocket, &byte, 1, 0);
    }
    return TRUE;
}

SOCKET MakeSelfConnectedSocket(std::string& error)
{
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = "cannot create the stop socket: " + ErrorText(WSAGetLastError());
        return INVALID_SOCKET;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        error = "cannot set up the stop socket: " + ErrorText(WSAGetLastError());
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

WaitResult WaitFor(SOCKET sock, bool forWriting, int timeoutMs)
{
    for (;;) {
        if (g_stopRequested)
            return WaitResult::Stopped;
        fd_set readable;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        if (sock != INVALID_SOCKET) {
            FD_SET(sock, forWriting ? &writable : &readable);
            FD_SET(sock, &failed);
        }
        if (g_stopSocket != INVALID_SOCKET)
            FD_SET(g_stopSocket, &readable);
        if (readable.fd_count + writable.fd_count == 0) {
            // select refuses empty sets; a pause before the handlers exist is a plain sleep.
            Sleep(static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs));
            return g_stopRequested ? WaitResult::Stopped : WaitResult::TimedOut;
        }
        timeval limit{timeoutMs / kMillisPerSecond, (timeoutMs % kMillisPerSecond) * kMicrosPerMilli};
        const int ready = select(0, &readable, &writable, &failed, timeoutMs < 0 ? nullptr : &limit);
        if (g_stopRequested)
            return WaitResult::Stopped;
        if (ready == SOCKET_ERROR)
            return WaitResult::Failed;
        if (ready == 0)
            return WaitResult::TimedOut;
        if (sock != INVALID_SOCKET &&
            (FD_ISSET(sock, &readable) || FD_ISSET(sock, &writable) || FD_ISSET(sock, &failed)))
            return WaitResult::Ready;
    }
}

} // namespace

bool InstallStopHandlers(std::string& error)
{
    // The stop socket is the simulator's first socket, so Windows Sockets starts here.
    const NetStartupResult started = NetStartup();
    if (!started.Succeeded()) {
        error = "cannot start Windows Sockets " + std::to_string(NET_VERSION_MAJOR) + "." +
                std::to_string(NET_VERSION_MINOR) + ": " + ErrorText(started.error);
        return false;
    }
    if (!started.VersionUsable()) {
        error = "Windows Sockets offers version " + std::to_string(started.majorVersion) + "." +
                std::to_string(started.minorVersion) + ", not the " + std::to_string(NET_VERSION_MAJOR) + "." +
                std::to_string(NET_VERSION_MINOR) + " that camera-sim needs";
        return false;
    }
    g_stopSocket = MakeSelfConnectedSocket(error);
    if (g_stopSocket == INVALID_SOCKET)
        return false;
    if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
        error = "cannot install the console control handler: " + ErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

bool StopRequested()
{
    return g_stopRequested;
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
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        listener.error = "socket: " + ErrorText(WSAGetLastError());
        return listener;
    }
    // Windows lets a second program bind a port in use unless the first claims it for itself.
    const BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, kListenBacklog) != 0 || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        listener.error = "cannot listen on " + ipv4 + ":" + std::to_string(port) + ": " + ErrorText(WSAGetLastError());
        closesocket(s);
        return listener;
    }
    sockaddr_in bound{};
    int size = sizeof bound;
    getsockname(s, reinterpret_cast<sockaddr*>(&bound), &size);
    listener.handle = static_cast<NetHandle>(s);
    listener.port = ntohs(bound.sin_port);
    return listener;
}

WaitResult WaitReadable(NetHandle handle, int timeoutMs)
{
    return WaitFor(Sock(handle), false, timeoutMs);
}

WaitResult WaitWritable(NetHandle handle, int timeoutMs)
{
    return WaitFor(Sock(handle), true, timeoutMs);
}

bool PauseUnlessStopped(int ms)
{
    return WaitFor(INVALID_SOCKET, false, ms) != WaitResult::Stopped;
}

NetHandle AcceptClient(NetHandle listener, std::string& peer)
{
    sockaddr_in address{};
    int size = sizeof address;
    const SOCKET s = accept(Sock(listener), reinterpret_cast<sockaddr*>(&address), &size);
    if (s == INVALID_SOCKET)
        return kNoHandle;
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return kNoHandle;
    }
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
    return static_cast<NetHandle>(s);
}

long RecvSome(NetHandle handle, void* buf, std::size_t len)
{
    const int n = recv(Sock(handle), static_cast<char*>(buf), CallSize(len), 0);
    if (n != SOCKET_ERROR)
        return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kNetError;
}

long SendSome(NetHandle handle, const void* data, std::size_t len)
{
    // Winsock raises no signal for a broken connection.
    const int n = send(Sock(handle), static_cast<const char*>(data), CallSize(len), 0);
    if (n != SOCKET_ERROR)
        return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kNetError;
}

bool HasDataWaiting(NetHandle handle)
{
    char byte;
    return recv(Sock(handle), &byte, 1, MSG_PEEK) > 0; // the socket never blocks: nothing waiting fails
}

void CloseGracefully(NetHandle handle)
{
    shutdown(Sock(handle), SD_SEND);
    closesocket(Sock(handle));
}

void CloseWithReset(NetHandle handle)
{
    const linger abort{1, 0};
    setsockopt(Sock(handle), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    closesocket(Sock(handle));
}
