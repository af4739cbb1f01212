// velmor-monitor against the simulated unit with an aging crystal, at
// --speed: the stability series appear with their labels, and once GPS is
// taken away (SIGUSR1) the predicted holdover time error follows half the
// aging times t squared, learnt from the DAC's trend during the lock.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The whole /metrics text; empty when unreachable. HTTP/1.0: the reply is
// whole when the server closes.
std::string Scrape(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    timeval timeout{15, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ::send(fd, request.data(), request.size(), 0);
    std::string reply;
    char buffer[8192];
    ssize_t count = 0;
    while ((count = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(count));
    ::close(fd);
    return reply;
}

// The value of the series written exactly as |series| (name and labels in
// the order the exposition prints them); NaN when absent.
double SeriesValue(const std::string& text, const std::string& series)
{
    const std::size_t at = text.find("\n" + series + " ");
    if (at == std::string::npos) return std::nan("");
    return std::atof(text.c_str() + at + series.size() + 2);
}

// Scrapes until |done| holds for the text, or a deadline generous for a
// loaded machine passes; the last scrape.
std::string ScrapeUntil(int port, const std::function<bool(const std::string&)>& done, int seconds)
{
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    std::string text = Scrape(port);
    while (!done(text) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        text = Scrape(port);
    }
    return text;
}

class CMonitorProcess {
public:
    bool Start(const std::vector<std::string>& args, const std::string& logPath)
    {
        m_pid = ::fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            if (std::freopen(logPath.c_str(), "w", stderr) == nullptr) ::_exit(126);
            std::string path = VELMOR_MONITOR_PATH;
            std::vector<std::string> copy = args;
            std::vector<char*> argv{path.data()};
            for (auto& arg : copy) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        return true;
    }
    ~CMonitorProcess()
    {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = -1;
};

int LoggedMetricsPort(const std::string& logPath)
{
    const std::string prefix = "metrics on http://127.0.0.1:";
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        const std::string text = ReadFile(logPath);
        const auto at = text.find(prefix);
        if (at != std::string::npos && std::atoi(text.c_str() + at + prefix.size()) > 0)
            return std::atoi(text.c_str() + at + prefix.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

TEST(HoldoverPrediction, FollowsTheSimulatedAging)
{
    // 1e-6 per day: 1.157e-11 per second. A fast loop settles at once and
    // lags the drift little; no other noise to blur the fit.
    constexpr double kAgingPerSecond = 1e-6 / 86400.0;
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--type", "16", "--speed", "15", "--warmup", "2", "--aging", "1e-6", "--loop-time", "10",
                           "--pps-noise", "0.5", "--freq-walk", "0", "--temp-coeff", "0"}));
    const std::string log = ::testing::TempDir() + "velmor-holdover-" + std::to_string(::getpid()) + ".log";
    CMonitorProcess monitor;
    ASSERT_TRUE(monitor.Start({"--device", sim.DevicePath(), "--baud", "19200", "--listen", "127.0.0.1:0",
                               "--dac-gain", "2e-12"},
                              log));
    const int port = LoggedMetricsPort(log);
    ASSERT_GT(port, 0) << ReadFile(log);

    const std::string device = "device=\"" + sim.DevicePath() + "\"";
    // The unit's first frequency estimate ends its first 600 s of lock; before
    // it, the unit reports a placeholder the prediction must not start from.
    const std::string frequency = "velmor_frequency_error_ratio{" + device + "}";
    std::string text = ScrapeUntil(
        port, [&](const std::string& t) { return std::fabs(SeriesValue(t, frequency)) < 1e-9; }, 120);
    ASSERT_LT(std::fabs(SeriesValue(text, frequency)), 1e-9) << ReadFile(log);

    // By then the hour's statistics exist, labelled, up to 100 s.
    const std::string adev100 =
        "velmor_adev{" + device + ",source=\"unit\",tau_seconds=\"100\",window=\"1h\"}";
    EXPECT_GT(SeriesValue(text, adev100), 0.0) << text;
    const std::string margin = "velmor_mask_margin_ratio{" + device +
                               ",mask=\"g8272_prtc_a\",source=\"unit\",statistic=\"mtie\",window=\"24h\"}";
    EXPECT_GT(SeriesValue(text, margin), 0.0) << text;
    const std::string predicted = "velmor_holdover_predicted_time_error_seconds{" + device + ",source=\"unit\"}";
    EXPECT_TRUE(std::isnan(SeriesValue(text, predicted))) << "no prediction while locked";

    ASSERT_TRUE(sim.Signal(SIGUSR1));
    const std::string coasting = "velmor_holdover_seconds{" + device + "}";
    text = ScrapeUntil(
        port, [&](const std::string& t) { return SeriesValue(t, coasting) >= 300 && !std::isnan(SeriesValue(t, predicted)); },
        120);
    const double t = SeriesValue(text, coasting);
    ASSERT_GE(t, 300) << ReadFile(log);
    // The unit reports the prediction's second and the coasting time from
    // the same second give or take one; the loop's lag adds a few percent.
    const double expected = 0.5 * kAgingPerSecond * t * t;
    const double value = SeriesValue(text, predicted);
    EXPECT_NEAR(value, expected, 0.2 * expected + 20e-9) << "t=" << t;
    // And the simulated unit, which reports its true phase while coasting,
    // agrees with the prediction.
    const double reported = SeriesValue(text, "velmor_pps_offset_seconds{" + device + "}");
    EXPECT_NEAR(value, reported, 0.2 * expected + 20e-9);
}

}  // namespace
}  // namespace velmor::e2e
