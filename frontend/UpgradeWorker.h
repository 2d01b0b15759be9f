// One upgrade on its own thread: the session, its stop request and its bridge to the dialog.
// The dialog owns it; destroying it stops and joins the thread. Nothing ever kills the thread.
#pragma once

#include "StopSignal.h"
#include "WorkerBridge.h"

#include <atomic>
#include <thread>

class CUpgradeWorker {
public:
    CUpgradeWorker(UpgradeDialogOps& uiOps, QObject* uiContext);
    ~CUpgradeWorker();
    CUpgradeWorker(const CUpgradeWorker&) = delete;
    CUpgradeWorker& operator=(const CUpgradeWorker&) = delete;

    // Starts the session; false when no thread could be created.
    bool Start();
    // True from Start until the session has returned.
    bool Running() const { return m_running.load(std::memory_order_acquire); }
    // UI thread, when the bridge's hand-over event arrives.
    void ServePending() { m_bridge.ServePending(); }
    // Asks the session to stop, releases any hand-over it waits for, and joins it. UI thread.
    void Stop();

private:
    StopSignal m_stop;
    CWorkerBridge m_bridge;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
