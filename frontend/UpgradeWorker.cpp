#include "UpgradeWorker.h"

#include "UpgradeSession.h"

#include <system_error>

CUpgradeWorker::CUpgradeWorker(UpgradeDialogOps& uiOps, QObject* uiContext) : m_bridge(uiOps, uiContext)
{
}

CUpgradeWorker::~CUpgradeWorker()
{
    Stop();
}

bool CUpgradeWorker::Start()
{
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] {
            UpgradeThreadProc(m_bridge, m_stop);
            m_running.store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        // The library reports a thread it cannot create only by throwing.
        m_running.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void CUpgradeWorker::Stop()
{
    m_stop.Request();
    m_bridge.Abandon();
    if (m_thread.joinable())
        m_thread.join();
}
