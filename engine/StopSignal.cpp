#include "StopSignal.h"

#include <algorithm>

void StopSignal::Subscribe(StopListener* listener) const
{
    std::lock_guard<std::mutex> lock(m_listenersMutex);
    m_listeners.push_back(listener);
}

void StopSignal::Unsubscribe(StopListener* listener) const
{
    std::lock_guard<std::mutex> lock(m_listenersMutex);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void StopSignal::NotifyListeners()
{
    std::lock_guard<std::mutex> lock(m_listenersMutex);
    for (StopListener* listener : m_listeners)
        listener->OnStopRequested();
}
