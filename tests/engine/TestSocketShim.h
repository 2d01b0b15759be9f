// The few raw socket calls the test fixtures make on their own side of a connection, on POSIX and on Winsock.
// Handles are plain ints, as the fixtures hand them out; Winsock's handles are small numbers that fit.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace testnet {

constexpr int kNoSocket = -1;
constexpr int kMillisPerSecond = 1000;
constexpr int kMicrosPerMilli = 1000;

#ifdef _WIN32

inline void StartUp()
{
    // Counted by Winsock and never released: the test process's end does that.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

inline int FromSocket(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : static_cast<int>(s); }
inline SOCKET ToSocket(int fd) { return static_cast<SOCKET>(fd); }

inline int OpenStream()
{
    StartUp();
    return FromSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

inline bool SetNonBlocking(int fd)
{
    u_long on = 1;
    return ioctlsocket(ToSocket(fd), FIONBIO, &on) == 0;
}

inline int AcceptOne(int listener) { return FromSocket(accept(ToSocket(listener), nullptr, nullptr)); }

inline bool WaitReadable(int fd, int timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(ToSocket(fd), &readable);
    timeval limit{timeoutMs / kMillisPerSecond, (timeoutMs % kMillisPerSecond) * kMicrosPerMilli};
    return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

inline long SendSome(int fd, const void* data, std::size_t len)
{
    return send(ToSocket(fd), static_cast<const char*>(data), static_cast<int>(len), 0);
}

inline long RecvSome(int fd, void* buf, std::size_t len)
{
    return recv(ToSocket(fd), static_cast<char*>(buf), static_cast<int>(len), 0);
}

inline void Close(int fd) { closesocket(ToSocket(fd)); }

using AddressSize = int;

#else

inline void StartUp() {}

inline int OpenStream() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }

inline bool SetNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

inline int AcceptOne(int listener) { return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

inline bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

inline long SendSome(int fd, const void* data, std::size_t len)
{
    ssize_t n;
    do {
        n = send(fd, data, len, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

inline long RecvSome(int fd, void* buf, std::size_t len)
{
    ssize_t n;
    do {
        n = recv(fd, buf, len, 0);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
}

inline void Close(int fd) { close(fd); }

using AddressSize = socklen_t;

#endif

// Listens on 127.0.0.1 on a free port; port receives it. kNoSocket on failure.
inline int ListenLoopback(int backlog, std::uint16_t& port)
{
    const int listener = OpenStream();
    if (listener == kNoSocket)
        return kNoSocket;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    AddressSize size = sizeof address;
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, backlog) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        Close(listener);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return listener;
}

// A stream socket connecting to 127.0.0.1:port. With wait false the socket is non-blocking and the attempt is
// only started, so a peer that never accepts cannot hold the caller.
inline int ConnectLoopback(std::uint16_t port, bool wait = true)
{
    const int fd = OpenStream();
    if (fd == kNoSocket)
        return kNoSocket;
    if (!wait && !SetNonBlocking(fd)) {
        Close(fd);
        return kNoSocket;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int result = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (wait && result != 0) {
        Close(fd);
        return kNoSocket;
    }
    return fd;
}

// Sends every byte unless the connection fails; false then.
inline bool SendAll(int fd, const void* data, std::size_t len)
{
    const auto* bytes = static_cast<const char*>(data);
    while (len > 0) {
        const long n = SendSome(fd, bytes, len);
        if (n <= 0)
            return false;
        bytes += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

// Closes so that the peer sees a reset rather than an orderly end.
inline void CloseWithReset(int fd)
{
    const linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    Close(fd);
}

} // namespace testnet
