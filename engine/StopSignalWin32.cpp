#include "StopSignal.h"

#include <winsock2.h>

// The wake handle is a manual-reset event: the socket layer waits on it together with the completion event of
// its overlapped send or receive, and once set it stays set for every later wait too.
namespace {

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

} // namespace

StopSignal::StopSignal()
{
    // Start-up is counted per call, so holding a reference of our own keeps the socket layer of this signal's
    // session usable in any process, also one whose own start-up was never made.
    WSADATA data;
    if (WSAStartup(kWinsockVersion, &data) != 0)
        return;
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        WSACleanup();
        return;
    }
    m_wakeRead = reinterpret_cast<std::intptr_t>(event);
    m_wakeWrite = m_wakeRead;
}

StopSignal::~StopSignal()
{
    // The Winsock reference is held exactly while the event exists.
    if (m_wakeRead >= 0) {
        CloseHandle(reinterpret_cast<HANDLE>(m_wakeRead));
        WSACleanup();
    }
}

void StopSignal::Request()
{
    if (m_requested.exchange(true, std::memory_order_acq_rel))
        return;
    if (m_wakeWrite >= 0)
        SetEvent(reinterpret_cast<HANDLE>(m_wakeWrite));
    NotifyListeners();
}
