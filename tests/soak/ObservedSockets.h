// The system's sockets as the session uses them, watched from another thread: how many bytes went each way and
// whether the session is waiting in a receive, so a test can stop it exactly while it waits for a given reply.
#pragma once

#include "FaultInjectingSockets.h"

#include <atomic>

class ObservedSockets : public SocketApi {
public:
    explicit ObservedSockets(const StopSignal& stop) : m_inner(stop) {}

    SocketHandle Socket() override { return m_inner.Socket(); }
    std::uint32_t InetAddr(const std::string& text) override { return m_inner.InetAddr(text); }
    int Connect(SocketHandle sock, const Ipv4Endpoint& peer) override { return m_inner.Connect(sock, peer); }
    long Send(SocketHandle sock, const void* data, std::size_t len) override;
    long Recv(SocketHandle sock, void* buf, std::size_t len) override;
    int CloseSocket(SocketHandle sock) override { return m_inner.CloseSocket(sock); }
    int LastError() const override { return m_inner.LastError(); }

    // True while the session waits for more than `received` bytes, having sent `sent` and received `received`.
    bool WaitingAfter(std::size_t sent, std::size_t received) const;

    std::size_t Sent() const { return m_sent; }
    // Read only after the session has returned.
    const FaultInjectingSockets& Counts() const { return m_inner; }

private:
    FaultInjectingSockets m_inner;
    std::atomic<std::size_t> m_sent{0};
    std::atomic<std::size_t> m_received{0};
    std::atomic<bool> m_inRecv{false};
};
