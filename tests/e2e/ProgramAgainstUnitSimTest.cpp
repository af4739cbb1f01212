// The real core, the real termios device and the simulated unit on a
// pseudo-terminal: one unit of each command family.

#include <gtest/gtest.h>

#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

struct Family {
    const char* m_pszName;
    std::vector<std::string> m_args;
    int m_nType;
    const char* m_pszDelayCommand;
};

class ProgramAgainstUnitSim : public ::testing::TestWithParam<Family> {};

TEST_P(ProgramAgainstUnitSim, IdentifiesShowsTheUnitAndSeesEchoes)
{
    const Family& family = GetParam();
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start(family.m_args));
    CSession session(sim.DevicePath());
    CProgram& program = session.m_program;
    ASSERT_TRUE(program.Session().IsPortOpen());

    // Identification within 2 s (generous bound for a loaded machine).
    ASSERT_TRUE(session.RunUntil([&] { return program.Session().State().m_bIdentified; }, 2000 * 5));
    EXPECT_EQ(program.Session().State().m_nProductType, family.m_nType);

    // The page shows the unit's own time and position.
    ASSERT_TRUE(session.RunUntil(
        [&] {
            const CUnitState& s = program.Session().StateForTest();
            return s.m_nYear != 1977 && s.m_position.m_strLatMinutes != "11.1111" &&
                   session.m_strPage.find(s.m_strTimeOfDay) != std::string::npos &&
                   session.m_strPage.find(s.m_position.m_strLatMinutes) != std::string::npos;
        },
        15000))
        << "year " << program.Session().State().m_nYear << ", latitude minutes " << program.Session().State().m_position.m_strLatMinutes
        << ", mode " << program.Session().State().m_chPositionMode << ", page:\n" << session.m_strPage;

    // A set command comes back through the unit's echo.
    program.Session().SendCommand(family.m_pszDelayCommand);
    EXPECT_TRUE(session.RunUntil([&] { return program.Session().State().m_strAntennaDelay == "000005"; }, 10000))
        << program.Session().State().m_strAntennaDelay;
    EXPECT_TRUE(session.m_host.Lines("box").empty()) << session.m_host.Lines("box").front();
}

INSTANTIATE_TEST_SUITE_P(Families, ProgramAgainstUnitSim,
                         ::testing::Values(Family{"TrmoFamily", {"--type", "16"}, 16, "ANTD,000005"},
                                           Family{"Tmd1Family", {"--type", "4"}, 4, "ANT1,000005"},
                                           Family{"Legacy", {"--type", "9"}, 9, "EID000005"}),
                         [](const auto& info) { return std::string(info.param.m_pszName); });

TEST(ProgramAgainstUnitSimRate, SilentUnitIsRecoveredByTheBaudSwitch)
{
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--type", "16", "--baud", "9600"}));
    CSession session(sim.DevicePath(), 19200);
    CProgram& program = session.m_program;
    // Ten seconds of the program's time pass in about two and a half.
    ASSERT_TRUE(session.RunUntil([&] { return program.Session().State().m_bIdentified; }, 30000, 4));
    EXPECT_EQ(program.Session().Serial().m_nBaud, 9600);
    const auto boxes = session.m_host.Lines("box");
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.front().find("New RS-232 Baud Rate: 9600 was 19200"), std::string::npos) << boxes.front();
    EXPECT_NE(session.m_profile.Text().find("Baud=9600"), std::string::npos);
}

}  // namespace
}  // namespace velmor::e2e
