#include "FaultInjectingSockets.h"

namespace {
constexpr int kInjectedSendError = 104; // a connection reset, as the platform would report it
constexpr int kInjectedCloseError = 9;
} // namespace

SocketHandle FaultInjectingSockets::Socket()
{
    if (failSocketCreateWith != 0) {
        m_injectedError = failSocketCreateWith;
        return INVALID_SOCKET_HANDLE;
    }
    const SocketHandle sock = m_system.Socket();
    if (sock != INVALID_SOCKET_HANDLE)
        ++socketsCreated;
    return sock;
}

long FaultInjectingSockets::Send(SocketHandle sock, const void* data, std::size_t len)
{
    const int number = sends++;
    if (number == failSendNumber) {
        m_injectedError = kInjectedSendError;
        return SOCKET_ERROR_RESULT;
    }
    if (number == shortSendNumber)
        return m_system.Send(sock, data, static_cast<std::size_t>(shortSendCount));
    return m_system.Send(sock, data, len);
}

long FaultInjectingSockets::Recv(SocketHandle sock, void* buf, std::size_t len)
{
    ++recvCalls;
    return m_system.Recv(sock, buf, len);
}

int FaultInjectingSockets::CloseSocket(SocketHandle sock)
{
    ++closes;
    const int result = m_system.CloseSocket(sock);
    if (failClose) {
        m_injectedError = kInjectedCloseError;
        return SOCKET_ERROR_RESULT;
    }
    return result;
}
