// The platform's blocking sockets, with every wait cut short by a stop request. Where the platform's waits
// need it, the sockets this object sends or receives on are shut down when the stop comes, which ends a
// blocking call at once; so they must be closed through CloseSocket.
#pragma once

#include "SocketApi.h"
#include "StopSignal.h"

#include <mutex>
#include <vector>

class SystemSockets : public SocketApi, private StopListener {
public:
    explicit SystemSockets(const StopSignal& stop);
    ~SystemSockets();
    SystemSockets(const SystemSockets&) = delete;
    SystemSockets& operator=(const SystemSockets&) = delete;

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
    // Remembers a socket for the stop; false when the stop has come already.
    bool Track(SocketHandle sock);
    void OnStopRequested() override;

    const StopSignal& m_stop;
    int m_lastError = 0;
    std::mutex m_trackedMutex;
    std::vector<SocketHandle> m_tracked;
};
