// A camera on 127.0.0.1 that follows a script, for tests: it records every byte it receives and whether
// the client closed the connection. Every wait is bounded, so a broken test fails instead of hanging.
#pragma once

#include "Protocol.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

struct CameraStep {
    enum class Kind { Expect, Send, Close, Reset, Silent, ExpectClose, Stall };
    Kind kind = Kind::Expect;
    std::size_t count = 0;             // Expect: bytes to take
    std::vector<std::uint8_t> bytes;   // Send
    std::vector<std::size_t> pieces;   // Send: sizes of the pieces, with a pause between them; empty: one piece
    int stallMs = 0;                   // Stall: how long to neither read nor write
};

// A 256-byte reply: code as decimal text, progress numbers, reason.
StatusReply MakeReply(int code, std::uint16_t value = 0, std::uint16_t total = 0, const std::string& reason = "");
StatusReply MakeRawReply(const std::string& codeText);

CameraStep Expect(std::size_t count);
CameraStep Reply(int code, std::uint16_t value = 0, std::uint16_t total = 0, const std::string& reason = "");
CameraStep SendReply(const StatusReply& reply, std::vector<std::size_t> pieces = {});
CameraStep SendBytes(std::vector<std::uint8_t> bytes);
CameraStep CloseConnection();  // orderly close
CameraStep ResetConnection();  // SO_LINGER 0, so the client sees a reset
CameraStep GoSilent();         // keep the connection open and say nothing until the client closes
CameraStep ExpectClientClose(); // wait for the client's close (the default end of every script)
CameraStep Stall(int ms);       // read nothing for a while, so the client's sends back up

// The conversation of a whole upgrade for an image of the given length that the camera accepts:
// login 10, header 20, 21 for each full fragment (22 for the last one when lastFragmentCode is 22),
// 22 for the final piece, then the flash reports given.
std::vector<CameraStep> HappyUpgradeScript(std::uint32_t imageLength, const std::vector<StatusReply>& flashReports,
                                           int lastFragmentCode = ST_FRAGMENT_OK);

class ScriptedCamera {
public:
    // Listens on 127.0.0.1 on a free port and serves `sessions` connections, each with the same script.
    explicit ScriptedCamera(std::vector<CameraStep> script, int sessions = 1);
    ~ScriptedCamera();

    std::uint16_t Port() const { return m_port; }
    // Waits (bounded) for the script to end and returns what the last connection received.
    const std::vector<std::uint8_t>& Received();
    bool ClientClosed();   // the last connection saw the client close
    bool Accepted();       // at least one connection came in
    int Connections();
    // Waits (bounded) until the current connection has received at least count bytes.
    bool WaitForReceived(std::size_t count);

private:
    void Serve();
    void RunScript(int fd);
    void Join();

    std::vector<CameraStep> m_script;
    int m_sessions;
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::vector<std::uint8_t> m_received;
    bool m_clientClosed = false;
    std::atomic<int> m_connections{0};
    std::atomic<std::size_t> m_receivedCount{0};
    std::atomic<bool> m_quit{false};
};
