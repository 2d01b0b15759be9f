// A stop request shared between the thread that wants a session to end and the thread that runs it.
// Requesting it wakes every blocking socket wait of the session at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// Told at once when a stop is requested, on the requesting thread: for waits that no wake handle can reach,
// such as a blocking receive.
class StopListener {
public:
    virtual void OnStopRequested() = 0;

protected:
    ~StopListener() = default;
};

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Safe from any thread, any number of times.
    void Request();
    bool Requested() const { return m_requested.load(std::memory_order_acquire); }

    // A platform handle that becomes ready once a stop is requested (a readable pipe on POSIX, a signalled
    // event on Windows), or -1 when none could be made; waits then fall back to short slices that look at
    // Requested().
    std::intptr_t WakeHandle() const { return m_wakeRead; }

    // A listener stays subscribed until it unsubscribes, which waits for a notification in progress.
    void Subscribe(StopListener* listener) const;
    void Unsubscribe(StopListener* listener) const;

private:
    void NotifyListeners();

    mutable std::mutex m_listenersMutex;
    mutable std::vector<StopListener*> m_listeners;
    std::atomic<bool> m_requested{false};
    std::intptr_t m_wakeRead = -1;
    std::intptr_t m_wakeWrite = -1;
};
