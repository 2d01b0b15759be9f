#include "FuzzCamera.h"

#include "Protocol.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr SocketHandle kFakeSocket = 7;
constexpr int kFakeError = 104;
// Codes the camera picks from, so that the interesting ones come up often.
constexpr int kCodes[] = {ST_LOGIN_OK,       ST_LOGIN_DENIED, ST_HEADER_OK, ST_FRAGMENT_OK, ST_IMAGE_COMPLETE,
                          ST_ERASING,        ST_WRITING,      ST_VERIFYING, ST_UPGRADE_DONE, ST_FAILED};
constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];

enum Action : std::uint8_t { kReplyKnown, kReplyRaw, kClose, kReset, kCount };

} // namespace

SocketHandle FuzzCamera::Socket()
{
    if (m_input.Next(1) == 0) {
        m_lastError = kFakeError;
        return INVALID_SOCKET_HANDLE;
    }
    ++sockets;
    m_open = true;
    return kFakeSocket;
}

std::uint32_t FuzzCamera::InetAddr(const std::string& text)
{
    return text == "255.255.255.255" ? INADDR_NONE_VALUE : 0x0100007Fu;
}

int FuzzCamera::Connect(SocketHandle, const Ipv4Endpoint&)
{
    return m_input.Next(1) == 0 ? SOCKET_ERROR_RESULT : 0;
}

long FuzzCamera::Send(SocketHandle, const void* data, std::size_t len)
{
    if (!m_open)
        ++sendsAfterClose;
    const std::uint8_t fate = m_input.Next(0xFF);
    if (fate == 0 || m_closedByCamera) {
        m_lastError = kFakeError;
        return SOCKET_ERROR_RESULT;
    }
    std::size_t count = len;
    if (fate == 1 && len > 0)
        count = m_input.Next() % len; // a short send
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    sent.insert(sent.end(), bytes, bytes + count);
    return static_cast<long>(count);
}

void FuzzCamera::NextReply()
{
    const std::uint8_t action = m_input.Next(kClose) % kCount;
    if (action == kClose || action == kReset) {
        m_closedByCamera = true;
        m_reset = action == kReset;
        m_pending.clear();
        return;
    }
    StatusReply reply;
    if (action == kReplyKnown) {
        const std::string code = std::to_string(kCodes[m_input.Next() % kCodeCount]);
        std::memcpy(reply.bytes.data(), code.data(), code.size());
        for (std::size_t i = REPLY_PROGRESS_VALUE_OFFSET; i < REPLY_REASON_OFFSET; ++i)
            reply.bytes[i] = m_input.Next();
        const std::size_t reasonLength = m_input.Next() % 8;
        for (std::size_t i = 0; i < reasonLength; ++i)
            reply.bytes[REPLY_REASON_OFFSET + i] = m_input.Next('r');
    } else {
        const std::size_t rawLength = m_input.Next() % 16;
        for (std::size_t i = 0; i < rawLength; ++i)
            reply.bytes[i] = m_input.Next();
    }
    // A reply may come cut short: the camera closes after part of it.
    const std::uint8_t cut = m_input.Next(0xFF);
    std::size_t length = STATUS_REPLY_SIZE;
    if (cut < 8)
        length = m_input.Next() % STATUS_REPLY_SIZE;
    m_pending.assign(reply.bytes.begin(), reply.bytes.begin() + length);
    if (length < STATUS_REPLY_SIZE)
        m_closedByCamera = true;
}

long FuzzCamera::Recv(SocketHandle, void* buf, std::size_t len)
{
    if (m_pending.empty() && !m_closedByCamera)
        NextReply();
    if (m_pending.empty()) {
        if (!m_reset)
            return 0;
        m_lastError = kFakeError;
        return SOCKET_ERROR_RESULT;
    }
    // Deliver the reply in pieces of the input's choosing.
    const std::size_t piece = std::max<std::size_t>(1, std::min<std::size_t>(len, m_input.Next(0xFF) + 1));
    const std::size_t count = std::min(piece, m_pending.size());
    std::memcpy(buf, m_pending.data(), count);
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(count));
    return static_cast<long>(count);
}

int FuzzCamera::CloseSocket(SocketHandle)
{
    ++closes;
    m_open = false;
    return m_input.Next(1) == 0 ? SOCKET_ERROR_RESULT : 0;
}
