#include "ScriptedCamera.h"

#include "TestSocketShim.h"

#include <chrono>
#include <cstring>

namespace {

constexpr int kWaitMs = 15000;   // longest the camera waits for anything
constexpr int kPiecePauseMs = 20;
constexpr int kBacklog = 8;

using testnet::SendAll;
using testnet::WaitReadable;

} // namespace

StatusReply MakeRawReply(const std::string& codeText)
{
    StatusReply reply;
    std::memcpy(reply.bytes.data(), codeText.data(), std::min(codeText.size(), reply.bytes.size()));
    return reply;
}

StatusReply MakeReply(int code, std::uint16_t value, std::uint16_t total, const std::string& reason)
{
    StatusReply reply = MakeRawReply(std::to_string(code));
    PutBigEndian16(reply.bytes.data() + REPLY_PROGRESS_VALUE_OFFSET, value);
    PutBigEndian16(reply.bytes.data() + REPLY_PROGRESS_TOTAL_OFFSET, total);
    std::memcpy(reply.bytes.data() + REPLY_REASON_OFFSET, reason.data(), std::min(reason.size(), REPLY_REASON_MAX));
    return reply;
}

CameraStep Expect(std::size_t count)
{
    CameraStep s;
    s.kind = CameraStep::Kind::Expect;
    s.count = count;
    return s;
}

CameraStep SendReply(const StatusReply& reply, std::vector<std::size_t> pieces)
{
    CameraStep s;
    s.kind = CameraStep::Kind::Send;
    s.bytes.assign(reply.bytes.begin(), reply.bytes.end());
    s.pieces = std::move(pieces);
    return s;
}

CameraStep Reply(int code, std::uint16_t value, std::uint16_t total, const std::string& reason)
{
    return SendReply(MakeReply(code, value, total, reason));
}

CameraStep SendBytes(std::vector<std::uint8_t> bytes)
{
    CameraStep s;
    s.kind = CameraStep::Kind::Send;
    s.bytes = std::move(bytes);
    return s;
}

CameraStep CloseConnection()
{
    CameraStep s;
    s.kind = CameraStep::Kind::Close;
    return s;
}

CameraStep ResetConnection()
{
    CameraStep s;
    s.kind = CameraStep::Kind::Reset;
    return s;
}

CameraStep GoSilent()
{
    CameraStep s;
    s.kind = CameraStep::Kind::Silent;
    return s;
}

CameraStep ExpectClientClose()
{
    CameraStep s;
    s.kind = CameraStep::Kind::ExpectClose;
    return s;
}

CameraStep Stall(int ms)
{
    CameraStep s;
    s.kind = CameraStep::Kind::Stall;
    s.stallMs = ms;
    return s;
}

std::vector<CameraStep> HappyUpgradeScript(std::uint32_t imageLength, const std::vector<StatusReply>& flashReports,
                                           int lastFragmentCode)
{
    std::vector<CameraStep> script = {Expect(CREDENTIAL_BLOCK_SIZE), Reply(ST_LOGIN_OK), Expect(UPGRADE_HEADER_SIZE),
                                      Reply(ST_HEADER_OK)};
    const std::uint32_t full = imageLength / FRAGMENT_SIZE;
    const std::uint32_t rest = imageLength % FRAGMENT_SIZE;
    for (std::uint32_t i = 0; i < full; ++i) {
        script.push_back(Expect(FRAGMENT_SIZE));
        script.push_back(Reply(i + 1 == full ? lastFragmentCode : ST_FRAGMENT_OK));
    }
    if (rest > 0) {
        script.push_back(Expect(rest));
        script.push_back(Reply(ST_IMAGE_COMPLETE));
    }
    for (const StatusReply& report : flashReports)
        script.push_back(SendReply(report));
    return script;
}

ScriptedCamera::ScriptedCamera(std::vector<CameraStep> script, int sessions)
    : m_script(std::move(script)), m_sessions(sessions)
{
    m_listenFd = testnet::ListenLoopback(kBacklog, m_port);
    m_thread = std::thread([this] { Serve(); });
}

ScriptedCamera::~ScriptedCamera()
{
    m_quit = true;
    Join();
    testnet::Close(m_listenFd);
}

void ScriptedCamera::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

const std::vector<std::uint8_t>& ScriptedCamera::Received()
{
    Join();
    return m_received;
}

bool ScriptedCamera::ClientClosed()
{
    Join();
    return m_clientClosed;
}

bool ScriptedCamera::Accepted()
{
    return m_connections > 0;
}

int ScriptedCamera::Connections()
{
    return m_connections;
}

bool ScriptedCamera::WaitForReceived(std::size_t count)
{
    for (int waited = 0; waited < kWaitMs; waited += kPiecePauseMs) {
        if (m_receivedCount >= count)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPiecePauseMs));
    }
    return false;
}

void ScriptedCamera::Serve()
{
    for (int served = 0; served < m_sessions && !m_quit; ++served) {
        // Short slices so that a camera nobody connects to ends with its test.
        bool ready = false;
        for (int waited = 0; waited < kWaitMs && !m_quit && !ready; waited += 50)
            ready = WaitReadable(m_listenFd, 50);
        if (!ready)
            return;
        const int fd = testnet::AcceptOne(m_listenFd);
        if (fd < 0)
            return;
        ++m_connections;
        m_received.clear();
        m_receivedCount = 0;
        m_clientClosed = false;
        RunScript(fd);
    }
}

void ScriptedCamera::RunScript(int fd)
{
    bool open = true;
    auto receive = [&](std::size_t want) {
        std::vector<std::uint8_t> chunk(want);
        std::size_t got = 0;
        while (got < want && !m_quit) {
            if (!WaitReadable(fd, kWaitMs))
                return false;
            const long n = testnet::RecvSome(fd, chunk.data(), want - got);
            if (n <= 0) {
                m_clientClosed = n == 0;
                return false;
            }
            m_received.insert(m_received.end(), chunk.begin(), chunk.begin() + n);
            m_receivedCount = m_received.size();
            got += static_cast<std::size_t>(n);
        }
        return true;
    };
    auto waitForClose = [&](int limitMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        std::vector<std::uint8_t> chunk(65536);
        while (!m_quit && std::chrono::steady_clock::now() < deadline) {
            if (!WaitReadable(fd, 50))
                continue;
            const long n = testnet::RecvSome(fd, chunk.data(), chunk.size());
            if (n <= 0) {
                m_clientClosed = n == 0;
                return;
            }
            m_received.insert(m_received.end(), chunk.begin(), chunk.begin() + n);
        }
    };

    for (const CameraStep& step : m_script) {
        if (!open)
            break;
        switch (step.kind) {
        case CameraStep::Kind::Expect:
            open = receive(step.count);
            break;
        case CameraStep::Kind::Send: {
            if (step.pieces.empty()) {
                SendAll(fd, step.bytes.data(), step.bytes.size());
                break;
            }
            std::size_t at = 0;
            for (std::size_t piece : step.pieces) {
                SendAll(fd, step.bytes.data() + at, piece);
                at += piece;
                std::this_thread::sleep_for(std::chrono::milliseconds(kPiecePauseMs));
            }
            break;
        }
        case CameraStep::Kind::Close:
            testnet::Close(fd);
            return;
        case CameraStep::Kind::Reset: {
            testnet::CloseWithReset(fd);
            return;
        }
        case CameraStep::Kind::Stall:
            for (int waited = 0; waited < step.stallMs && !m_quit; waited += kPiecePauseMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(kPiecePauseMs));
            break;
        case CameraStep::Kind::Silent:
        case CameraStep::Kind::ExpectClose:
            waitForClose(kWaitMs);
            testnet::Close(fd);
            return;
        }
    }
    if (open)
        waitForClose(kWaitMs);
    testnet::Close(fd);
}
