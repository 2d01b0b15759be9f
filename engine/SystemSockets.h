// The platform's blocking sockets, with every wait cut short by a stop request.
#pragma once

#include "SocketApi.h"
#include "StopSignal.h"

class SystemSockets : public SocketApi {
public:
    explicit SystemSockets(const StopSignal& stop) : m_stop(stop) {}

    SocketHandle Socket() override;
    std::uint32_t InetAddr(const std::string& text) override;
    int Connect(SocketHandle sock, const Ipv4Endpoint& peer) override;
    long Send(SocketHandle sock, const void* data, std::size_t len) override;
    long Recv(SocketHandle sock, void* buf, std::size_t len) override;
    int CloseSocket(SocketHandle sock) override;
    int LastError() const override { return m_lastError; }

private:
    enum class Wait { Ready, Stopped, Failed };
    Wait WaitFor(SocketHandle sock, bool forWriting);
    int Fail(int error);

    const StopSignal& m_stop;
    int m_lastError = 0;
};
