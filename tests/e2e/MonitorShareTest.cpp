// velmor-monitor as a process against the simulated unit, with a desktop
// client on its shared line: the client's commands reach the unit, its
// global unsubscribe does not, and the monitor's own reports and metrics
// keep coming while the client comes and goes.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/UnitSimSession.h"
#include "history/HistoryQuery.h"
#include "link/SerialLink.h"

namespace velmor::e2e {
namespace {

using Clock = std::chrono::steady_clock;

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    timeval timeout{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

// Everything the socket gives within |ms|.
std::string ReadFor(int fd, int ms)
{
    std::string text;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    while (Clock::now() < until) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count == 0) break;
        if (count > 0) text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

// What the socket gives until |done| holds for the text so far, or |ms| pass.
template <typename Done>
std::string ReadUntil(int fd, Done done, int ms)
{
    std::string text;
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    char buffer[4096];
    while (!done(text) && Clock::now() < until) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count == 0) break;
        if (count > 0) text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

// The whole /metrics text; empty when unreachable.
std::string Scrape(int port)
{
    const int fd = Connect(port);
    if (fd < 0) return {};
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ::send(fd, request.data(), request.size(), 0);
    const std::string reply = ReadFor(fd, 15000);
    ::close(fd);
    return reply;
}

// The value of the series |series| (a name, or a name with its labels as
// the text shows them) in a scrape; -1 when absent. A bare name matches the
// series whatever its labels.
double SeriesValue(const std::string& text, const std::string& series)
{
    for (std::size_t at = text.find("\n" + series); at != std::string::npos;
         at = text.find("\n" + series, at + 1)) {
        const std::size_t end = at + 1 + series.size();
        if (end >= text.size()) break;
        std::size_t value = std::string::npos;
        if (text[end] == ' ') value = end + 1;
        else if (text[end] == '{' && series.find('{') == std::string::npos) {
            const std::size_t close = text.find("} ", end);
            if (close != std::string::npos) value = close + 2;
        }
        if (value != std::string::npos) return std::atof(text.c_str() + value);
    }
    return -1;
}

// One series from the monitor's /metrics; -1 when unreachable.
double Metric(int port, const std::string& name)
{
    const int fd = Connect(port);
    if (fd < 0) return -1;
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ::send(fd, request.data(), request.size(), 0);
    // HTTP/1.0: the reply is whole when the server closes. A loaded machine
    // may take seconds to answer, so the wait ends on the close, not on a
    // fixed window.
    const std::string reply = ReadFor(fd, 15000);
    ::close(fd);
    return SeriesValue(reply, name);
}

// A test's log and database, gone when the test ends (declared before the
// monitor, so removed after it has stopped).
class CScratchFiles {
public:
    explicit CScratchFiles(std::string stem) : m_strStem(std::move(stem)) { Remove(); }
    ~CScratchFiles() { Remove(); }

private:
    void Remove() const
    {
        for (const char* suffix : {".log", ".sqlite3", ".sqlite3-wal", ".sqlite3-shm", ".sqlite3-journal"})
            std::remove((m_strStem + suffix).c_str());
    }
    std::string m_strStem;
};

class CMonitorProcess {
public:
    bool Start(const std::vector<std::string>& args, const std::string& logPath)
    {
        m_pid = ::fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            std::FILE* log = std::freopen(logPath.c_str(), "w", stderr);
            (void)log;
            std::vector<char*> argv;
            std::string path = VELMOR_MONITOR_PATH;
            argv.push_back(path.data());
            std::vector<std::string> copy = args;
            for (auto& arg : copy) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        return true;
    }
    // SIGTERM and the exit status (-1 when it had to be killed).
    int Stop()
    {
        if (m_pid <= 0) return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return -1;
    }
    ~CMonitorProcess() { Stop(); }

private:
    pid_t m_pid = -1;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// True once |done| holds, polled until a deadline generous enough for a
// loaded machine.
template <typename Done>
bool WaitUntil(Done done)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// The port the monitor logged after |prefix| ("metrics on http://127.0.0.1:"),
// waiting for the line; 0 when it never came. The monitor is given port 0,
// so the system picks a free port and no two tests can be handed the same.
int LoggedPort(const std::string& logPath, const std::string& prefix)
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        const std::string text = ReadFile(logPath);
        const auto at = text.find(prefix);
        if (at != std::string::npos) {
            const int port = std::atoi(text.c_str() + at + prefix.size());
            if (port > 0) return port;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

TEST(MonitorShare, ClientCommandsReachTheUnitButItsUnsubscribeDoesNot)
{
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--type", "16"}));
    // Names of this process's own: a log left by an earlier or a parallel
    // run must never be read for this monitor's ports.
    const std::string stem = ::testing::TempDir() + "velmor-monitor-share-" + std::to_string(::getpid());
    const std::string log = stem + ".log";
    const std::string db = stem + ".sqlite3";
    const CScratchFiles scratch(stem);
    CMonitorProcess monitor;
    ASSERT_TRUE(monitor.Start({"--device", sim.DevicePath(), "--baud", "19200", "--listen", "127.0.0.1:0",
                               "--share", "127.0.0.1:0", "--log-level", "debug", "--db", db},
                              log));
    const int metricsPort = LoggedPort(log, "metrics on http://127.0.0.1:");
    const int sharePort = LoggedPort(log, "sharing the unit's line on 127.0.0.1:");
    ASSERT_GT(metricsPort, 0) << ReadFile(log);
    ASSERT_GT(sharePort, 0) << ReadFile(log);

    // The monitor identifies the unit and its reports arrive.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Metric(metricsPort, "velmor_up") != 1 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(Metric(metricsPort, "velmor_up"), 1) << ReadFile(log);
    const auto identified = Clock::now();

    const int client = Connect(sharePort);
    ASSERT_GE(client, 0);
    const auto hasTime = [](const std::string& text) { return text.find("$TIME") != std::string::npos; };
    EXPECT_TRUE(hasTime(ReadUntil(client, hasTime, 20000))) << "the client hears the unit";

    // A desktop program opening a setup dialog unsubscribes everything and
    // sets the antenna delay; the unit must see the second but not the first.
    const std::string farewell = FrameCommand("UNSL,XXXX,1", 16);
    const std::string setDelay = FrameCommand("ANTD,000007", 16);
    ASSERT_EQ(::send(client, farewell.data(), farewell.size(), 0), static_cast<ssize_t>(farewell.size()));
    ASSERT_EQ(::send(client, setDelay.data(), setDelay.size(), 0), static_cast<ssize_t>(setDelay.size()));
    const double before = Metric(metricsPort, "velmor_sentences_total");
    const std::string heard = ReadUntil(
        client,
        [](const std::string& text) {
            const auto echo = text.find("ANTD,000007");
            return echo != std::string::npos && text.find("$TIME", echo) != std::string::npos;
        },
        20000);
    EXPECT_NE(heard.find("ANTD,000007"), std::string::npos) << "the unit echoes the client's command:\n" << heard;
    // Time reports still flow, to the client and to the monitor.
    const auto lastTime = heard.rfind("$TIME");
    ASSERT_NE(lastTime, std::string::npos) << heard;
    EXPECT_GT(lastTime, heard.find("ANTD,000007"));
    EXPECT_TRUE(WaitUntil([&] { return Metric(metricsPort, "velmor_sentences_total") > before + 3; }));
    EXPECT_EQ(Metric(metricsPort, "velmor_up"), 1);

    ::close(client);

    // The desktop program's core opens the unit through the share, identifies
    // it, and stops polling as it does around a setup dialog (sending the
    // global unsubscribe); the monitor's reports go on regardless.
    {
        CSession desktop("tcp://127.0.0.1:" + std::to_string(sharePort));
        CProgram& program = desktop.m_program;
        ASSERT_TRUE(program.Session().IsPortOpen());
        ASSERT_TRUE(desktop.RunUntil([&] { return program.Session().State().m_bIdentified; }, 15000));
        EXPECT_EQ(program.Session().State().m_nProductType, 16);
        program.Session().StopPolling();
        const double during = Metric(metricsPort, "velmor_sentences_total");
        EXPECT_TRUE(WaitUntil([&] { return Metric(metricsPort, "velmor_sentences_total") > during + 3; }));
        program.Session().StartPolling();
        program.OnMainWindowClose();
    }

    // Clients that go away, or never say anything sensible, change nothing.
    for (int i = 0; i < 3; ++i) {
        const int rude = Connect(sharePort);
        const std::string junk = "\x01\x02garbage$$$***\n\n\r";
        ::send(rude, junk.data(), junk.size(), MSG_NOSIGNAL);
        ::close(rude);
    }
    const double later = Metric(metricsPort, "velmor_sentences_total");
    EXPECT_TRUE(WaitUntil([&] { return Metric(metricsPort, "velmor_sentences_total") > later; }));

    const auto recorded = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - identified).count();
    EXPECT_EQ(monitor.Stop(), 0);
    const std::string text = ReadFile(log);
    EXPECT_NE(text.find("<6>share: 127.0.0.1:"), std::string::npos) << text;
    EXPECT_NE(text.find("unsubscribe everything; not forwarded"), std::string::npos) << text;
    EXPECT_NE(text.find("<5>stopping on signal 15"), std::string::npos) << text;
    // The history was recorded all along and flushed at the stop.
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(db, error)) << error;
    const auto units = query.ListUnits();
    ASSERT_EQ(units.size(), 1u);
    // A row a second while the unit reported; a loaded machine may cost a few.
    const auto rows = static_cast<long long>(query.ReadRows(units[0].m_llId, 0, INT64_MAX).size());
    EXPECT_GE(rows, 1);
    EXPECT_GE(rows, recorded / 2) << recorded << " s recorded";
    // Every log line carries its priority for the journal.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) EXPECT_EQ(line.front(), '<') << line;
}

// One monitor process, two units on two pseudo-terminals (a type 16 and a
// legacy type 9): each has its own session, its own series in the metrics
// and its own rows in the one history database.
TEST(MonitorShare, TwoUnitsInOneProcessEachWithItsSeriesAndRows)
{
    CUnitSimProcess modern;
    CUnitSimProcess legacy;
    ASSERT_TRUE(modern.Start({"--type", "16"}));
    ASSERT_TRUE(legacy.Start({"--type", "9"}));
    const std::string stem = ::testing::TempDir() + "velmor-monitor-two-" + std::to_string(::getpid());
    const std::string log = stem + ".log";
    const std::string db = stem + ".sqlite3";
    const CScratchFiles scratch(stem);
    CMonitorProcess monitor;
    ASSERT_TRUE(monitor.Start({"--device", modern.DevicePath() + ",baud=19200", "--device", legacy.DevicePath(),
                               "--listen", "127.0.0.1:0", "--log-level", "debug", "--db", db},
                              log));
    const int metricsPort = LoggedPort(log, "metrics on http://127.0.0.1:");
    ASSERT_GT(metricsPort, 0) << ReadFile(log);

    const std::string modernUp = "velmor_up{device=\"" + modern.DevicePath() + "\"}";
    const std::string legacyUp = "velmor_up{device=\"" + legacy.DevicePath() + "\"}";
    std::string text;
    // The legacy unit may need the baud switch's round first: a generous wait.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        text = Scrape(metricsPort);
        if (SeriesValue(text, modernUp) == 1 && SeriesValue(text, legacyUp) == 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    ASSERT_EQ(SeriesValue(text, modernUp), 1) << text << ReadFile(log);
    ASSERT_EQ(SeriesValue(text, legacyUp), 1) << text << ReadFile(log);
    EXPECT_NE(text.find("product_type=\"16\""), std::string::npos) << text;
    EXPECT_NE(text.find("product_type=\"9\""), std::string::npos) << text;
    // Every series names its device.
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("velmor_", 0) == 0) {
            EXPECT_NE(line.find("device=\""), std::string::npos) << line;
        }
    }

    // Each unit's rows in the one database, under its own unit.
    ASSERT_TRUE(WaitUntil([&] {
        CHistoryQuery query;
        std::string error;
        if (!query.Open(db, error)) return false;
        int withRows = 0;
        for (const auto& unit : query.ListUnits())
            if ((unit.m_strDevice == modern.DevicePath() || unit.m_strDevice == legacy.DevicePath()) &&
                unit.m_nProductType.value_or(0) > 0 && query.ReadRows(unit.m_llId, 0, INT64_MAX).size() >= 2)
                ++withRows;
        return withRows == 2;
    })) << ReadFile(log);
    EXPECT_EQ(monitor.Stop(), 0);
}

}  // namespace
}  // namespace velmor::e2e
