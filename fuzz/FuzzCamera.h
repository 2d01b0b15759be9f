// A camera made of fuzz input, behind the socket interface: every reply, piece, close, reset and failed call
// comes from the input bytes, so the unchanged session meets every order of events.
#pragma once

#include "SocketApi.h"

#include <cstdint>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_at >= m_size; }
    // The next byte, or fallback once the input is used up.
    std::uint8_t Next(std::uint8_t fallback = 0) { return Empty() ? fallback : m_data[m_at++]; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

class FuzzCamera : public SocketApi {
public:
    explicit FuzzCamera(FuzzInput& input) : m_input(input) {}

    SocketHandle Socket() override;
    std::uint32_t InetAddr(const std::string& text) override;
    int Connect(SocketHandle sock, const Ipv4Endpoint& peer) override;
    long Send(SocketHandle sock, const void* data, std::size_t len) override;
    long Recv(SocketHandle sock, void* buf, std::size_t len) override;
    int CloseSocket(SocketHandle sock) override;
    int LastError() const override { return m_lastError; }

    std::vector<std::uint8_t> sent;
    int sockets = 0;
    int closes = 0;
    int sendsAfterClose = 0;

private:
    void NextReply();

    FuzzInput& m_input;
    std::vector<std::uint8_t> m_pending; // bytes of the reply being delivered
    bool m_closedByCamera = false;
    bool m_reset = false;
    bool m_open = false;
    int m_lastError = 0;
};
