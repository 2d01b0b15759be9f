#include "StopSignal.h"

#include <winsock2.h>

// Winsock has no pipes. A UDP socket that sends to itself does the same job: once the datagram is queued the
// socket stays readable, and every wait of the socket layer can include it.
namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

SOCKET MakeSelfConnectedSocket()
{
    SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) // systems that lack the no-inherit flag
        s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

} // namespace

StopSignal::StopSignal()
{
    // Start-up is counted per call, so holding a reference of our own keeps the wake socket usable in any
    // process, also one whose own start-up was never made.
    WSADATA data;
    if (WSAStartup(kWinsockVersion, &data) != 0)
        return;
    const SOCKET s = MakeSelfConnectedSocket();
    if (s == INVALID_SOCKET) {
        WSACleanup();
        return;
    }
    m_wakeRead = static_cast<std::intptr_t>(s);
    m_wakeWrite = m_wakeRead;
}

StopSignal::~StopSignal()
{
    // The Winsock reference is held exactly while the wake socket exists.
    if (m_wakeRead >= 0) {
        closesocket(static_cast<SOCKET>(m_wakeRead));
        WSACleanup();
    }
}

void StopSignal::Request()
{
    if (m_requested.exchange(true, std::memory_order_acq_rel))
        return;
    // The datagram is never read, so the socket stays readable for every later wait too.
    if (m_wakeWrite >= 0) {
        const char byte = 1;
        send(static_cast<SOCKET>(m_wakeWrite), &byte, 1, 0);
    }
    NotifyListeners();
}
