#include "alarms/QueuedEventLog.h"

namespace velmor {

CQueuedEventLog::CQueuedEventLog(std::string directory, CEventLog::ErrorSink onError)
    : m_log(std::move(directory), std::move(onError)), m_worker([this] { Run(); })
{
}

CQueuedEventLog::~CQueuedEventLog()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

void CQueuedEventLog::Append(const CAlarmEvent& event, std::time_t when)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.emplace_back(event, when);
    }
    m_wake.notify_one();
}

void CQueuedEventLog::Flush()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_written.wait(lock, [this] { return m_queue.empty() && !m_bWriting; });
}

void CQueuedEventLog::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
        // Everything queued is written before the worker ends.
        while (!m_queue.empty()) {
            auto [event, when] = std::move(m_queue.front());
            m_queue.pop_front();
            m_bWriting = true;
            lock.unlock();
            m_log.Append(event, when);
            lock.lock();
            m_bWriting = false;
        }
        m_written.notify_all();
        if (m_bStop) return;
    }
}

}  // namespace velmor
