// The hand-over between a worker and the UI thread: every operation runs on the UI thread while the worker
// waits, values come back, and an abandoned hand-over lets the worker go without the UI thread's help.
#include "RecordingDialog.h"
#include "WorkerBridge.h"

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {
constexpr int kWaitMs = 15000;
constexpr int kQueueMs = 50;

} // namespace

// Stands where the dialog stands: it answers the bridge's wake-up by serving the waiting requests.
class ServingContext : public QObject {
    Q_OBJECT
public slots:
    void OnHandOver()
    {
        if (bridge)
            bridge->ServePending();
    }

public:
    CWorkerBridge* bridge = nullptr;
};

TEST(WorkerBridge, OperationsRunOnTheUiThreadInOrderAndReturnTheirValues)
{
    ServingContext context;
    RecordingDialog ui(LoopbackInputs(4321, "/data/fw.frm"));
    std::vector<bool> onUiThread;
    ui.onCall = [&](const std::string&) { onUiThread.push_back(QThread::currentThread() == context.thread()); };
    CWorkerBridge bridge(ui, &context);
    context.bridge = &bridge;

    std::atomic<bool> done{false};
    UpgradeInputs inputs;
    int first = 0, second = 0;
    std::thread worker([&] {
        inputs = bridge.LoadInputs();
        bridge.SetStatusText("Transferring Firmware");
        bridge.ShowMembers();
        bridge.SetProgressRange(3);
        bridge.SetProgressPos(1);
        bridge.EnableButtons(false);
        first = bridge.CountRefusedLogin();
        second = bridge.CountRefusedLogin();
        bridge.ShowMessage("Firmware upgrade completed");
        bridge.FinishUpgrade();
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, kWaitMs));
    worker.join();

    EXPECT_EQ(ui.Calls(), (std::vector<std::string>{"load", "status: Transferring Firmware", "show", "range: 3",
                                                    "pos: 1", "disable", "count refusal", "count refusal",
                                                    "message: Firmware upgrade completed", "finish"}));
    EXPECT_EQ(onUiThread, std::vector<bool>(ui.Calls().size(), true));
    EXPECT_EQ(inputs.firmwarePath, "/data/fw.frm");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
}

TEST(WorkerBridge, AbandonReleasesAWaitingWorkerThatTheUiNeverServes)
{
    ServingContext context;
    RecordingDialog ui(LoopbackInputs(4321));
    CWorkerBridge bridge(ui, &context);
    context.bridge = &bridge;

    std::atomic<bool> posted{false};
    int count = -1;
    std::thread worker([&] {
        posted = true;
        bridge.ShowMessage("never shown");
        count = bridge.CountRefusedLogin();
    });
    // The UI thread does not serve events here: without Abandon the worker would wait for ever.
    while (!posted)
        std::this_thread::yield();
    bridge.Abandon();
    worker.join();

    EXPECT_EQ(count, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ui.Calls().empty());
}

TEST(WorkerBridge, WakeUpAfterAbandonServesNothing)
{
    ServingContext context;
    RecordingDialog ui(LoopbackInputs(4321));
    CWorkerBridge bridge(ui, &context);
    context.bridge = &bridge;
    std::thread worker([&] { bridge.EnableButtons(false); });
    // Let the request be queued without serving it, then abandon it with its wake-up still pending.
    std::this_thread::sleep_for(std::chrono::milliseconds(kQueueMs));
    bridge.Abandon();
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ui.Calls().empty());
}

TEST(WorkerBridge, DisplayUpdatesDoNotWaitButTheirBacklogIsBounded)
{
    ServingContext context;
    RecordingDialog ui(LoopbackInputs(4321));
    CWorkerBridge bridge(ui, &context);
    context.bridge = &bridge;

    std::atomic<int> posted{0};
    std::thread worker([&] {
        for (int pos = 1; pos <= 1000; ++pos) {
            bridge.SetProgressPos(static_cast<std::uint32_t>(pos));
            ++posted;
        }
    });
    // The UI thread serves nothing yet (no events are processed here): the worker runs ahead, but only so far.
    for (int waited = 0; waited < kWaitMs && posted.load() < 10; waited += kQueueMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(kQueueMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(kQueueMs));
    EXPECT_GE(posted.load(), 10);
    EXPECT_LT(posted.load(), 100);
    EXPECT_TRUE(ui.Calls().empty());

    // Once served, every update arrives, in order.
    EXPECT_TRUE(QTest::qWaitFor([&] { return posted.load() == 1000; }, kWaitMs));
    worker.join();
    QCoreApplication::processEvents();
    const auto calls = ui.Calls();
    ASSERT_EQ(calls.size(), 1000u);
    EXPECT_EQ(calls.front(), "pos: 1");
    EXPECT_EQ(calls.back(), "pos: 1000");
}

#include "WorkerBridgeTest.moc"
