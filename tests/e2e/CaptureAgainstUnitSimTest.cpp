// A capture made against the simulated unit, played back by the simulator
// as the unit (velmor-unitsim --play), shows the program the same session:
// the same unit times one after another and the same last page.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/TrafficCapture.h"
#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

// Runs |session| until it has shown |count| unit times (or its playback has
// nothing more to say), noting each new time as the page shows it.
std::vector<std::string> RunShowingTimes(CSession& session, std::size_t count, int timeoutMs)
{
    std::vector<std::string> times;
    session.RunUntil(
        [&] {
            const std::string& time = session.m_program.Session().State().m_strTimeOfDay;
            if (session.m_program.Session().State().m_nYear != 1977 && session.m_strPage.find(time) != std::string::npos &&
                (times.empty() || times.back() != time))
                times.push_back(time);
            return times.size() >= count;
        },
        timeoutMs);
    return times;
}

TEST(CaptureAgainstUnitSim, PlayedBackCaptureShowsTheSameSession)
{
    const std::string path = "/tmp/velmor-capture-e2e-" + std::to_string(::getpid()) + ".replay";
    std::vector<std::string> recorded;
    std::string lastPage;
    {
        CUnitSimProcess sim;
        ASSERT_TRUE(sim.Start({"--type", "16"}));
        CSession session(sim.DevicePath());
        CTrafficCapture capture;
        std::string error;
        ASSERT_TRUE(capture.Start(path, session.m_host.TickCount(), 0, error)) << error;
        session.m_program.Session().AddObserver(capture);
        recorded = RunShowingTimes(session, 4, 20000);
        ASSERT_EQ(recorded.size(), 4u);
        // Whatever else the last tick read is on the page too.
        session.RunUntil([] { return false; }, 300);
        lastPage = session.m_strPage;
        capture.Stop(session.m_host.TickCount());
        session.m_program.Session().RemoveObserver(capture);
    }

    CUnitSimProcess player;
    ASSERT_TRUE(player.Start({"--play", path}));
    CSession session(player.DevicePath());
    const std::vector<std::string> played = RunShowingTimes(session, 4, 20000);
    EXPECT_EQ(played, recorded);
    // The player falls silent at the end; by then the page is the last one.
    session.RunUntil([&] { return session.m_strPage == lastPage; }, 3000);
    EXPECT_EQ(session.m_strPage, lastPage);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace velmor::e2e
