#pragma once
// The daily text log of alarm events: one line per event (ISO time in UTC,
// event name, values) appended to events-YYYY-MM-DD.log, a new file each
// UTC day. Each line is written and flushed at once, which costs the tick
// no more than a small write. A log that cannot be written is reported once
// and then left alone; the events still go everywhere else.

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "alarms/AlarmMonitor.h"

namespace velmor {

class CEventLog {
public:
    using ErrorSink = std::function<void(const std::string&)>;
    // |directory| holds the files; it is created on the first write.
    // |onError| hears the one message when writing fails (stderr when empty).
    explicit CEventLog(std::string directory, ErrorSink onError = {});
    ~CEventLog();
    CEventLog(const CEventLog&) = delete;
    CEventLog& operator=(const CEventLog&) = delete;

    // Appends the event with the wall-clock time |when|; false when the line
    // could not be written.
    bool Append(const CAlarmEvent& event, std::time_t when);

    // The file that |when| goes to.
    std::string PathFor(std::time_t when) const;
    const std::string& Directory() const { return m_strDirectory; }

private:
    void Fail(const std::string& message);

    std::string m_strDirectory;
    ErrorSink m_onError;
    std::FILE* m_pFile = nullptr;
    std::string m_strOpenPath;
    bool m_bFailed = false;
};

// "2026-12-07T14:03:22Z lock-lost state=Coasting"
std::string FormatEventLine(const CAlarmEvent& event, std::time_t when);
// $XDG_STATE_HOME/velmor, or ~/.local/state/velmor.
std::string DefaultEventLogDirectory();

}  // namespace velmor
