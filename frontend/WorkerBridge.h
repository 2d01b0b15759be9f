// The worker's side of the dialog: every operation the session performs is carried out on the UI thread,
// in the order the session made them. Operations that answer something or change what the operator may do
// (inputs, buttons, messages, the refusal count, finish) are synchronous hand-overs: the worker waits until
// the UI thread has carried them out. The display updates (status text, progress, showing the members)
// carry their own copies of the values and are only queued, so that a transfer never waits for a repaint;
// being queued in order, they are on screen before any later synchronous operation runs. A bounded backlog
// keeps a stalled UI thread from collecting them without end. Abandon() releases a waiting worker at once
// and turns every later operation into a no-op, so that a closing dialog never waits for a hand-over that
// nobody will serve.
//
// Requests travel in a queue of the bridge's own under a standard mutex; the UI thread is only woken by a
// queued call, without arguments, of the slot OnHandOver() of the UI context. So everything of ours that
// crosses threads is ordered by that mutex, which the thread sanitizer sees (it cannot see the toolkit's
// own locks, and the toolkit makes and frees the queued call itself).
#pragma once

#include "UpgradeDialogOps.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

class CWorkerBridge : public UpgradeDialogOps {
public:
    // uiOps and uiContext belong to the UI thread and outlive every worker that uses this bridge.
    // uiContext has a slot OnHandOver() that calls ServePending() of the bridge in use, if any.
    CWorkerBridge(UpgradeDialogOps& uiOps, QObject* uiContext);
    ~CWorkerBridge() override;
    CWorkerBridge(const CWorkerBridge&) = delete;
    CWorkerBridge& operator=(const CWorkerBridge&) = delete;

    // UI thread: carries out the waiting requests. A request may open a nested event loop (a message
    // box) in which the bridge is destroyed; after running a request this touches nothing of the bridge.
    void ServePending();
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
    struct Request {
        std::function<void()> run; // keeps its result in storage it shares with the waiting worker
        bool done = false;
    };
    struct HandOver {
        std::mutex mutex;
        std::condition_variable served;
        bool abandoned = false;
        bool wakePending = false; // a wake-up is on its way to the UI thread
        std::deque<std::shared_ptr<Request>> waiting;
    };

    // Queues a request and wakes the UI thread unless a wake-up is already on its way; false when the
    // hand-over was abandoned or the UI thread cannot be woken.
    bool Enqueue(const std::shared_ptr<Request>& request);
    template <typename Result>
    Result Call(std::function<Result(UpgradeDialogOps&)> operation, Result fallback);
    void Run(std::function<void(UpgradeDialogOps&)> operation);
    void Post(std::function<void(UpgradeDialogOps&)> operation);

    UpgradeDialogOps& m_uiOps;
    QObject* m_uiContext;
    std::shared_ptr<HandOver> m_handOver;
};
