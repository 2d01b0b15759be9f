#include "WorkerBridge.h"

#include <QMetaObject>
#include <QObject>
#include <optional>

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
    }
    m_handOver->served.notify_all();
}

template <typename Result>
Result CWorkerBridge::Call(std::function<Result()> operation, Result fallback)
{
    struct Reply {
        std::optional<Result> value;
    };
    const std::shared_ptr<HandOver> handOver = m_handOver;
    const auto reply = std::make_shared<Reply>();
    {
        std::lock_guard<std::mutex> lock(handOver->mutex);
        if (handOver->abandoned)
            return fallback;
    }
    const bool posted = QMetaObject::invokeMethod(
        m_uiContext,
        [handOver, reply, operation = std::move(operation)]() {
            {
                std::lock_guard<std::mutex> lock(handOver->mutex);
                if (handOver->abandoned)
                    return;
            }
            Result value = operation();
            {
                std::lock_guard<std::mutex> lock(handOver->mutex);
                reply->value = std::move(value);
            }
            handOver->served.notify_all();
        },
        Qt::QueuedConnection);
    if (!posted)
        return fallback;

    std::unique_lock<std::mutex> lock(handOver->mutex);
    handOver->served.wait(lock, [&] { return reply->value.has_value() || handOver->abandoned; });
    return reply->value ? std::move(*reply->value) : fallback;
}

void CWorkerBridge::Run(std::function<void()> operation)
{
    Call<bool>(
        [operation = std::move(operation)] {
            operation();
            return true;
        },
        false);
}

UpgradeInputs CWorkerBridge::LoadInputs()
{
    return Call<UpgradeInputs>([ops = &m_uiOps] { return ops->LoadInputs(); }, UpgradeInputs{});
}

void CWorkerBridge::SetStatusText(const std::string& text)
{
    Run([ops = &m_uiOps, text] { ops->SetStatusText(text); });
}

void CWorkerBridge::ShowMembers()
{
    Run([ops = &m_uiOps] { ops->ShowMembers(); });
}

void CWorkerBridge::SetProgressRange(std::uint32_t high)
{
    Run([ops = &m_uiOps, high] { ops->SetProgressRange(high); });
}

void CWorkerBridge::SetProgressPos(std::uint32_t pos)
{
    Run([ops = &m_uiOps, pos] { ops->SetProgressPos(pos); });
}

void CWorkerBridge::EnableButtons(bool enable)
{
    Run([ops = &m_uiOps, enable] { ops->EnableButtons(enable); });
}

void CWorkerBridge::FinishUpgrade()
{
    Run([ops = &m_uiOps] { ops->FinishUpgrade(); });
}

void CWorkerBridge::ShowMessage(const std::string& text)
{
    Run([ops = &m_uiOps, text] { ops->ShowMessage(text); });
}

int CWorkerBridge::CountRefusedLogin()
{
    return Call<int>([ops = &m_uiOps] { return ops->CountRefusedLogin(); }, 0);
}
