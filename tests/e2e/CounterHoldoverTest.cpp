// The counter's measured holdover error against the simulator's truth: a
// simulated unit with an aging crystal and its simulated counter, the real
// program and a real counter session on one clock, GPS taken away
// (SIGUSR1) after a settled lock. The counter's phase then runs off with
// the crystal, and what it measured since the last settled second must be
// the model's true phase change over the same seconds.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <prometheus/registry.h>

#include "CounterStability.h"
#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

std::map<std::int64_t, double> ReadTruth(const std::string& path)
{
    std::map<std::int64_t, double> truth;
    std::ifstream in(path);
    long long second = 0;
    double phase = 0;
    while (in >> second >> phase) truth[second] = phase;
    return truth;
}

TEST(CounterHoldover, MeasuredTimeErrorIsTheTruePhaseChange)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmor-counter-holdover-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string counterLink = (dir / "counter").string(), truthPath = (dir / "truth.txt").string();
    // Locked from the start; 20 unit seconds a real second, the program's
    // clock at real time, so a unit second is 50 ms of ticks and the
    // counter's lines (sent with the unit's reports) join the right one.
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--type", "16", "--state", "1", "--warmup", "0", "--speed", "20", "--aging",
                           "1e-6", "--loop-time", "10", "--pps-noise", "0.5", "--freq-walk", "0", "--temp-coeff", "0",
                           "--counter", counterLink, "--truth", truthPath}));
    CSession session(sim.DevicePath());
    CDeviceByPath counterDevice;
    CCounterOptions options;
    options.m_strDevice = counterLink;
    CCounterSession counter(session.m_host, counterDevice, options);
    prometheus::Registry registry;
    CCounterStability stability(registry, sim.DevicePath(), counterLink);
    session.m_program.Session().AddObserver(stability);
    counter.AddObserver(stability);
    ASSERT_TRUE(counter.Open());
    const CReadings& readings = session.m_program.Session().Readings();

    // As CSession::RunUntil, with the counter read right after the unit and
    // a shorter step.
    const auto run = [&](const std::function<bool()>& done, int timeoutMs) {
        using clock = std::chrono::steady_clock;
        const auto start = clock::now();
        std::uint64_t advanced = 0;
        for (;;) {
            std::string page;
            session.m_program.OnPaint(page);
            if (done()) return true;
            const auto elapsed =
                static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start).count());
            if (elapsed > static_cast<std::uint64_t>(timeoutMs)) return false;
            session.m_host.Advance(elapsed - advanced);
            advanced = elapsed;
            if (session.m_host.m_bTimerRunning) session.m_program.OnPollTimer();
            counter.Tick();
            stability.OnTick(counter.Now());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };

    // Settled (a minute of lock) and a little more; the deadlines are for a
    // loaded machine.
    ASSERT_TRUE(run([&] { return stability.Live().DaySamples() >= 60; }, 120000));
    ASSERT_FALSE(stability.Measured());
    ASSERT_TRUE(sim.Signal(SIGUSR1));
    ASSERT_TRUE(run(
        [&] {
            const auto measured = stability.Measured();
            return measured && measured->m_llSecond - measured->m_llReferenceSecond >= 200;
        },
        120000));
    const CCounterStability::CMeasured measured = *stability.Measured();
    EXPECT_TRUE(readings.m_coastDurationS.m_value && *readings.m_coastDurationS.m_value >= 200);
    sim.Stop();

    const std::map<std::int64_t, double> truth = ReadTruth(truthPath);
    ASSERT_TRUE(truth.count(measured.m_llReferenceSecond) && truth.count(measured.m_llSecond))
        << measured.m_llReferenceSecond << " " << measured.m_llSecond;
    const double expected = truth.at(measured.m_llSecond) - truth.at(measured.m_llReferenceSecond);
    // Half the aging times t squared is about 0.23 us after 200 s: the
    // counter's error is its noise (60 ps rms on each of the two phases) and
    // its 10 ps steps; a second joined wrongly would be off by nanoseconds.
    EXPECT_GT(std::fabs(expected), 50e-9);
    EXPECT_NEAR(measured.m_dValue, expected, 0.6e-9) << "from " << measured.m_llReferenceSecond << " to "
                                                     << measured.m_llSecond;
    session.m_program.Session().RemoveObserver(stability);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor::e2e
