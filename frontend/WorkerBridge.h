// The worker's side of the dialog: every operation the session performs is carried out on the UI thread
// while the worker waits, as a synchronous hand-over. Abandon() releases a waiting worker at once and
// turns every later operation into a no-op, so that a closing dialog never waits for a hand-over that
// nobody will serve.
#pragma once

#include "UpgradeDialogOps.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

class CWorkerBridge : public UpgradeDialogOps {
public:
    // uiOps runs on the thread of uiContext; events for a destroyed uiContext are dropped.
    CWorkerBridge(UpgradeDialogOps& uiOps, QObject* uiContext);
    ~CWorkerBridge() override;
    CWorkerBridge(const CWorkerBridge&) = delete;
    CWorkerBridge& operator=(const CWorkerBridge&) = delete;

    // Any thread. Idempotent.
    void Abandon();

    UpgradeInputs LoadInputs() override;
    void SetStatusText(const std::string& text) override;
    void ShowMembers() override;
    void SetProgressRange(std::uint32_t high) override;
    void SetProgressPos(std::uint32_t pos) override;
    void EnableButtons(bool enable) override;
    void FinishUpgrade() override;
    void ShowMessage(const std::string& text) override;
    int CountRefusedLogin() override;

private:
    // Shared with every posted request: a request that runs after its worker has left touches only this,
    // never the bridge.
    struct HandOver {
        std::mutex mutex;
        std::condition_variable served;
        bool abandoned = false;
    };

    template <typename Result>
    Result Call(std::function<Result()> operation, Result fallback);
    void Run(std::function<void()> operation);

    UpgradeDialogOps& m_uiOps;
    QObject* m_uiContext; // outlives every worker that uses this bridge
    std::shared_ptr<HandOver> m_handOver;
};
