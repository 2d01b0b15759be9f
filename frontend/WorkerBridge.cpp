#include "WorkerBridge.h"

#include <QMetaObject>
#include <QObject>
#include <optional>

namespace {
// Display updates a worker may have queued before it waits for the UI thread to catch up.
constexpr std::size_t kMaxQueuedUpdates = 64;
} // namespace

CWorkerBridge::CWorkerBridge(UpgradeDialogOps& uiOps, QObject* uiContext)
    : m_uiOps(uiOps), m_uiContext(uiContext), m_handOver(std::make_shared<HandOver>())
{
}

CWorkerBridge::~CWorkerBridge()
{
    Abandon();
}

void CWorkerBridge::Abandon()
{
    {
        std::lock_guard<std::mutex> lock(m_handOver->mutex);
        m_handOver->abandoned = true;
        m_handOver->waiting.clear();
    }
    m_handOver->served.notify_all();
}

void CWorkerBridge::ServePending()
{
    // Locals only from here on: a request may end the bridge's life (see the header).
    const std::shared_ptr<HandOver> handOver = m_handOver;
    {
        // Requests queued from here on send a wake-up of their own.
        std::lock_guard<std::mutex> lock(handOver->mutex);
        handOver->wakePending = false;
    }
    for (;;) {
        std::shared_ptr<Request> next;
        {
            std::lock_guard<std::mutex> lock(handOver->mutex);
            if (handOver->abandoned || handOver->waiting.empty())
                return;
            next = std::move(handOver->waiting.front());
            handOver->waiting.pop_front();
        }
        next->run();
        {
            std::lock_guard<std::mutex> lock(handOver->mutex);
            next->done = true;
        }
        handOver->served.notify_all();
    }
}

bool CWorkerBridge::Enqueue(const std::shared_ptr<Request>& request)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(m_handOver->mutex);
        if (m_handOver->abandoned)
            return false;
        m_handOver->waiting.push_back(request);
        wake = !m_handOver->wakePending;
        m_handOver->wakePending = true;
    }
    if (wake && !QMetaObject::invokeMethod(m_uiContext, "OnHandOver", Qt::QueuedConnection)) {
        Abandon(); // nobody can serve it: a programming error, but never a hang
        return false;
    }
    return true;
}

template <typename Result>
Result CWorkerBridge::Call(std::function<Result(UpgradeDialogOps&)> operation, Result fallback)
{
    // The result lives with the request, not on this stack: an abandoned worker may be gone while the UI
    // thread still finishes the request.
    const auto result = std::make_shared<std::optional<Result>>();
    auto request = std::make_shared<Request>();
    request->run = [ops = &m_uiOps, result, operation = std::move(operation)] { *result = operation(*ops); };
    if (!Enqueue(request))
        return fallback;

    std::unique_lock<std::mutex> lock(m_handOver->mutex);
    m_handOver->served.wait(lock, [&] { return request->done || m_handOver->abandoned; });
    return request->done && *result ? std::move(**result) : fallback;
}

void CWorkerBridge::Run(std::function<void(UpgradeDialogOps&)> operation)
{
    Call<bool>(
        [operation = std::move(operation)](UpgradeDialogOps& ops) {
            operation(ops);
            return true;
        },
        false);
}

void CWorkerBridge::Post(std::function<void(UpgradeDialogOps&)> operation)
{
    auto request = std::make_shared<Request>();
    request->run = [ops = &m_uiOps, operation = std::move(operation)] { operation(*ops); };
    if (!Enqueue(request))
        return;
    std::unique_lock<std::mutex> lock(m_handOver->mutex);
    m_handOver->served.wait(
        lock, [&] { return m_handOver->waiting.size() < kMaxQueuedUpdates || m_handOver->abandoned; });
}

UpgradeInputs CWorkerBridge::LoadInputs()
{
    return Call<UpgradeInputs>([](UpgradeDialogOps& ops) { return ops.LoadInputs(); }, UpgradeInputs{});
}

void CWorkerBridge::SetStatusText(const std::string& text)
{
    Post([text](UpgradeDialogOps& ops) { ops.SetStatusText(text); });
}

void CWorkerBridge::ShowMembers()
{
    Post([](UpgradeDialogOps& ops) { ops.ShowMembers(); });
}

void CWorkerBridge::SetProgressRange(std::uint32_t high)
{
    Post([high](UpgradeDialogOps& ops) { ops.SetProgressRange(high); });
}

void CWorkerBridge::SetProgressPos(std::uint32_t pos)
{
    Post([pos](UpgradeDialogOps& ops) { ops.SetProgressPos(pos); });
}

void CWorkerBridge::EnableButtons(bool enable)
{
    Run([enable](UpgradeDialogOps& ops) { ops.EnableButtons(enable); });
}

void CWorkerBridge::FinishUpgrade()
{
    Run([](UpgradeDialogOps& ops) { ops.FinishUpgrade(); });
}

void CWorkerBridge::ShowMessage(const std::string& text)
{
    Run([text](UpgradeDialogOps& ops) { ops.ShowMessage(text); });
}

int CWorkerBridge::CountRefusedLogin()
{
    return Call<int>([](UpgradeDialogOps& ops) { return ops.CountRefusedLogin(); }, 0);
}
