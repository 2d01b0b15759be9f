// One client connection of the simulated camera: exact-length reads and whole sends, each wait bounded
// by the idle time-out and cut short by a stop.
#pragma once

#include "SimNet.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum class IoOutcome { Done, PeerClosed, TimedOut, Failed, Stopped };

struct ReadResult {
    IoOutcome outcome = IoOutcome::Done;
    std::size_t got = 0; // bytes that arrived before the outcome
};

class Connection {
public:
    Connection(NetHandle handle, int idleTimeoutMs) : m_handle(handle), m_idleTimeoutMs(idleTimeoutMs) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits at most the idle time-out for each next byte.
    ReadResult ReadExact(std::uint8_t* buf, std::size_t len);
    // Bytes already waiting, without any wait: a client that sent more than it announced.
    bool HasWaitingBytes();
    IoOutcome SendAll(const std::uint8_t* data, std::size_t len);
    // The data in pieces of the given sizes with a pause between them; what the sizes leave over goes last.
    IoOutcome SendInPieces(const std::uint8_t* data, std::size_t len, const std::vector<std::size_t>& pieces);
    // Discards whatever arrives until the client closes (PeerClosed), the idle time-out or a stop.
    IoOutcome AwaitClientClose();

    void CloseGracefully();
    void CloseWithReset();

private:
    NetHandle m_handle;
    int m_idleTimeoutMs;
};

const char* DescribeOutcome(IoOutcome outcome);
