#pragma once
// The daily events log written off the caller's thread: Append only queues
// the line, and a worker of its own opens, writes and flushes the file, so an
// alarm raised on the GUI thread or a poll tick never waits for a disk. The
// worker drains what is queued before the object goes away.

#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "alarms/EventLog.h"

namespace velmor {

class CQueuedEventLog {
public:
    // |onError| hears the one failure message, on the worker thread.
    explicit CQueuedEventLog(std::string directory, CEventLog::ErrorSink onError = {});
    ~CQueuedEventLog();
    CQueuedEventLog(const CQueuedEventLog&) = delete;
    CQueuedEventLog& operator=(const CQueuedEventLog&) = delete;

    // Queues the event with the wall-clock time |when|.
    void Append(const CAlarmEvent& event, std::time_t when);
    // Waits until everything queued before the call is written (or failed).
    void Flush();
    const std::string& Directory() const { return m_log.Directory(); }

private:
    void Run();

    CEventLog m_log;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::deque<std::pair<CAlarmEvent, std::time_t>> m_queue;
    bool m_bWriting = false;
    bool m_bStop = false;
    std::thread m_worker;
};

}  // namespace velmor
