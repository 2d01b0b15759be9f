#include "ObservedSockets.h"

long ObservedSockets::Send(SocketHandle sock, const void* data, std::size_t len)
{
    const long n = m_inner.Send(sock, data, len);
    if (n > 0)
        m_sent += static_cast<std::size_t>(n);
    return n;
}

long ObservedSockets::Recv(SocketHandle sock, void* buf, std::size_t len)
{
    m_inRecv = true;
    const long n = m_inner.Recv(sock, buf, len);
    if (n > 0)
        m_received += static_cast<std::size_t>(n);
    m_inRecv = false;
    return n;
}

bool ObservedSockets::WaitingAfter(std::size_t sent, std::size_t received) const
{
    return m_inRecv && m_sent == sent && m_received == received;
}
