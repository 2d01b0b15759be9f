// The system's sockets with faults that a real peer cannot cause: a failed socket creation, a send that reports
// an error or hands over fewer bytes, a close that fails. It also counts creations and closes.
#pragma once

#include "SystemSockets.h"

class FaultInjectingSockets : public SocketApi {
public:
    explicit FaultInjectingSockets(const StopSignal& stop) : m_system(stop) {}

    SocketHandle Socket() override;
    std::uint32_t InetAddr(const std::string& text) override { return m_system.InetAddr(text); }
    int Connect(SocketHandle sock, const Ipv4Endpoint& peer) override { return m_system.Connect(sock, peer); }
    long Send(SocketHandle sock, const void* data, std::size_t len) override;
    long Recv(SocketHandle sock, void* buf, std::size_t len) override;
    int CloseSocket(SocketHandle sock) override;
    int LastError() const override { return m_injectedError ? m_injectedError : m_system.LastError(); }

    // Faults, each off by default. Sends are numbered from 0 in the order the session makes them.
    int failSocketCreateWith = 0;   // error code to report
    int failSendNumber = -1;        // that send reports an error and sends nothing
    int shortSendNumber = -1;       // that send hands over only shortSendCount bytes
    long shortSendCount = 0;
    bool failClose = false;         // the socket is closed, but the call reports an error

    int socketsCreated = 0;
    int closes = 0;
    int sends = 0;
    int recvCalls = 0;

private:
    SystemSockets m_system;
    int m_injectedError = 0;
};
