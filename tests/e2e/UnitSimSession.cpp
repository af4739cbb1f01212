#include "e2e/UnitSimSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace velmor::e2e {

bool CUnitSimProcess::Start(const std::vector<std::string>& args)
{
    int out[2];
    if (pipe(out) != 0) return false;
    m_pid = fork();
    if (m_pid < 0) return false;
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        std::string path = VELMOR_UNITSIM_PATH;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    // The first line the simulator prints is the device path.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        if (read(out[0], &c, 1) != 1) break;
        if (c == '\n') break;
        line += c;
    }
    close(out[0]);
    m_strPath = line;
    return !m_strPath.empty() && m_strPath[0] == '/';
}

void CUnitSimProcess::Stop()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

bool CUnitSimProcess::Signal(int signal) { return m_pid > 0 && kill(m_pid, signal) == 0; }

void CUnitSimProcess::Kill()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

void CUnitSimProcess::Unplug(const std::string& link)
{
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    Kill();
}

CSession::CSession(const std::string& device, int baud)
    : m_profile(CProfile::InMemory("[Serial Port Commmunications]\nBaud=" + std::to_string(baud) +
                                   "\n[Port Devices]\n1=" + device + "\n")),
      m_program(m_host, m_device, m_profile)
{
    m_host.m_nTick = 1000000;
    m_program.LoadSettingsAtStartup();
    m_program.OpenPortAtStartup();
}

bool CSession::RunUntil(const std::function<bool()>& done, int timeoutMs, int speed)
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto last = start;
    while (true) {
        std::string page;
        if (m_program.OnPaint(page)) {
            m_strPage = page;
            ++m_nPages;
        }
        if (done()) return true;
        const auto now = clock::now();
        if (now - start > std::chrono::milliseconds(timeoutMs)) return false;
        const auto step = std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
        last = now;
        m_host.Advance(static_cast<std::uint64_t>(step) * static_cast<std::uint64_t>(speed));
        if (m_host.m_bTimerRunning) m_program.OnPollTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace velmor::e2e
