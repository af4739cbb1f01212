#include "alarms/EventLog.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace velmor {

namespace {

std::tm UtcTime(std::time_t when)
{
    std::tm parts{};
    if (::gmtime_r(&when, &parts) == nullptr) {
        const std::time_t epoch = 0;
        ::gmtime_r(&epoch, &parts);
    }
    return parts;
}

}  // namespace

std::string FormatEventLine(const CAlarmEvent& event, std::time_t when)
{
    const std::tm parts = UtcTime(when);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
    std::string line = stamp;
    line += ' ';
    line += event.m_strName;
    if (!event.m_strValues.empty()) {
        line += ' ';
        line += event.m_strValues;
    }
    return line;
}

std::string DefaultEventLogDirectory()
{
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/velmor";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return std::string(home != nullptr ? home : ".") + "/.local/state/velmor";
}

CEventLog::CEventLog(std::string directory, ErrorSink onError)
    : m_strDirectory(std::move(directory)), m_onError(std::move(onError))
{
}

CEventLog::~CEventLog()
{
    if (m_pFile) std::fclose(m_pFile);
}

std::string CEventLog::PathFor(std::time_t when) const
{
    const std::tm parts = UtcTime(when);
    char name[40];
    std::strftime(name, sizeof name, "events-%Y-%m-%d.log", &parts);
    return m_strDirectory + "/" + name;
}

bool CEventLog::Append(const CAlarmEvent& event, std::time_t when)
{
    if (m_bFailed) return false;
    const std::string path = PathFor(when);
    if (path != m_strOpenPath) {
        // A new UTC day starts a new file.
        if (m_pFile) std::fclose(m_pFile);
        m_pFile = nullptr;
        m_strOpenPath.clear();
        std::error_code error;
        std::filesystem::create_directories(m_strDirectory, error);
        m_pFile = std::fopen(path.c_str(), "a");
        if (!m_pFile) {
            Fail("cannot open the event log " + path + ": " + std::strerror(errno));
            return false;
        }
        m_strOpenPath = path;
    }
    const std::string line = FormatEventLine(event, when) + "\n";
    if (std::fputs(line.c_str(), m_pFile) < 0 || std::fflush(m_pFile) != 0) {
        Fail("cannot write the event log " + path + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

void CEventLog::Fail(const std::string& message)
{
    m_bFailed = true;
    if (m_pFile) std::fclose(m_pFile);
    m_pFile = nullptr;
    m_strOpenPath.clear();
    if (m_onError) m_onError(message);
    else std::fprintf(stderr, "velmor: %s; events are no longer logged\n", message.c_str());
}

}  // namespace velmor
