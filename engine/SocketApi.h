// The socket operations a session needs, as one small interface: the system's sockets implement it, and
// tests may wrap them to inject faults that real peers cannot cause (a short send, a failed close).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using SocketHandle = std::intptr_t;
constexpr SocketHandle INVALID_SOCKET_HANDLE = -1;
constexpr int SOCKET_ERROR_RESULT = -1;
constexpr std::uint32_t INADDR_NONE_VALUE = 0xFFFFFFFFu;

struct Ipv4Endpoint {
    std::uint32_t address = 0; // network byte order, as InetAddr returns it
    std::uint16_t port = 0;    // host byte order
};

class SocketApi {
public:
    virtual ~SocketApi() = default;
    // An IPv4 stream socket, or INVALID_SOCKET_HANDLE.
    virtual SocketHandle Socket() = 0;
    // Dotted decimal to an address in network byte order, or INADDR_NONE_VALUE.
    virtual std::uint32_t InetAddr(const std::string& text) = 0;
    // 0, or SOCKET_ERROR_RESULT.
    virtual int Connect(SocketHandle sock, const Ipv4Endpoint& peer) = 0;
    // Hands the whole block to the connection: the count sent, or SOCKET_ERROR_RESULT. Never raises SIGPIPE.
    virtual long Send(SocketHandle sock, const void* data, std::size_t len) = 0;
    // The count received (0 when the peer closed), or SOCKET_ERROR_RESULT.
    virtual long Recv(SocketHandle sock, void* buf, std::size_t len) = 0;
    // 0, or SOCKET_ERROR_RESULT.
    virtual int CloseSocket(SocketHandle sock) = 0;
    // The error code of the last failed call on this object.
    virtual int LastError() const = 0;
};
