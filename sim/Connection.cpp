#include "Connection.h"

#include <algorithm>

namespace {

// Long enough for each piece of a split reply to leave in a segment of its own.
constexpr int kPiecePauseMs = 20;
constexpr std::size_t kDrainChunk = 4096;

IoOutcome FromWait(WaitResult wait)
{
    switch (wait) {
    case WaitResult::TimedOut:
        return IoOutcome::TimedOut;
    case WaitResult::Stopped:
        return IoOutcome::Stopped;
    default:
        return IoOutcome::Failed;
    }
}

} // namespace

Connection::~Connection()
{
    if (m_handle != kNoHandle)
        ::CloseGracefully(m_handle);
}

ReadResult Connection::ReadExact(std::uint8_t* buf, std::size_t len)
{
    ReadResult result;
    while (result.got < len) {
        const long n = RecvSome(m_handle, buf + result.got, len - result.got);
        if (n > 0) {
            result.got += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            result.outcome = IoOutcome::PeerClosed;
            return result;
        }
        if (n == kNetError) {
            result.outcome = IoOutcome::Failed;
            return result;
        }
        const WaitResult wait = WaitReadable(m_handle, m_idleTimeoutMs);
        if (wait != WaitResult::Ready) {
            result.outcome = FromWait(wait);
            return result;
        }
    }
    return result;
}

bool Connection::HasWaitingBytes()
{
    // Not a poll: a client that closed right after its piece is readable too, but sent nothing more.
    return HasDataWaiting(m_handle);
}

IoOutcome Connection::SendAll(const std::uint8_t* data, std::size_t len)
{
    std::size_t sent = 0;
    while (sent < len) {
        const long n = SendSome(m_handle, data + sent, len - sent);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n == kNetError)
            return IoOutcome::Failed;
        const WaitResult wait = WaitWritable(m_handle, m_idleTimeoutMs);
        if (wait != WaitResult::Ready)
            return FromWait(wait);
    }
    return IoOutcome::Done;
}

IoOutcome Connection::SendInPieces(const std::uint8_t* data, std::size_t len, const std::vector<std::size_t>& pieces)
{
    std::size_t offset = 0;
    for (std::size_t piece : pieces) {
        const std::size_t size = std::min(piece, len - offset);
        if (size == 0)
            continue;
        if (offset > 0 && !PauseUnlessStopped(kPiecePauseMs))
            return IoOutcome::Stopped;
        const IoOutcome outcome = SendAll(data + offset, size);
        if (outcome != IoOutcome::Done)
            return outcome;
        offset += size;
    }
    if (offset == len)
        return IoOutcome::Done;
    if (offset > 0 && !PauseUnlessStopped(kPiecePauseMs))
        return IoOutcome::Stopped;
    return SendAll(data + offset, len - offset);
}

IoOutcome Connection::AwaitClientClose()
{
    std::uint8_t sink[kDrainChunk];
    for (;;) {
        const long n = RecvSome(m_handle, sink, sizeof sink);
        if (n == 0)
            return IoOutcome::PeerClosed;
        if (n == kNetError)
            return IoOutcome::Failed;
        if (n > 0)
            continue;
        const WaitResult wait = WaitReadable(m_handle, m_idleTimeoutMs);
        if (wait != WaitResult::Ready)
            return FromWait(wait);
    }
}

void Connection::CloseGracefully()
{
    if (m_handle == kNoHandle)
        return;
    ::CloseGracefully(m_handle);
    m_handle = kNoHandle;
}

void Connection::CloseWithReset()
{
    if (m_handle == kNoHandle)
        return;
    ::CloseWithReset(m_handle);
    m_handle = kNoHandle;
}

const char* DescribeOutcome(IoOutcome outcome)
{
    switch (outcome) {
    case IoOutcome::Done:
        return "done";
    case IoOutcome::PeerClosed:
        return "client closed";
    case IoOutcome::TimedOut:
        return "timed out";
    case IoOutcome::Failed:
        return "connection failed";
    case IoOutcome::Stopped:
        return "stopped";
    }
    return "?";
}
