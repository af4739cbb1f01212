// velmor-unitsim --play: a captured session comes out of the real
// pseudo-terminal byte for byte, in order and no earlier than its waits
// allow; a bad capture stops the simulator before it offers a device.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/UnitSimSession.h"

namespace velmor::e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::string WriteFile(const std::string& name, const std::string& text)
{
    const std::string path = "/tmp/velmor-play-" + std::to_string(::getpid()) + "-" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Reads the terminal for |ms|, or until |want| bytes are there; each read's
// arrival time is noted against the byte count it reached.
struct CArrival {
    std::size_t m_nSize;
    Clock::time_point m_when;
};
void ReadFor(int fd, int ms, std::size_t want, std::string& bytes, std::vector<CArrival>& arrivals)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (bytes.size() < want && Clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0) continue;
        char buffer[256];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) continue;
        bytes.append(buffer, static_cast<std::size_t>(count));
        arrivals.push_back({bytes.size(), Clock::now()});
    }
}

// When the byte at |offset| arrived.
Clock::time_point ArrivalOf(const std::vector<CArrival>& arrivals, std::size_t offset)
{
    for (const CArrival& arrival : arrivals)
        if (arrival.m_nSize > offset) return arrival.m_when;
    return Clock::time_point::max();
}

TEST(UnitSimPlayTest, PlaysACaptureByteExactPacedByItsWaitsOnceTheProgramSpeaks)
{
    // Escapes of every kind, blanks kept at the end of a line, a framed body,
    // CR LF line ends, program-side directives and a last line without LF.
    const std::string capture =
        "# a short capture\n"
        "ini [Port Devices]\n"
        "rx $PRID,16,512-6200-04*4C\\r\\n\n"
        "# tx $UNSL,TIME,1*\\r\\n\n"
        "rx \\x00\\xFf\\t\\\\\\\"  two blanks  \n"
        "wait 400\n"
        "  rxs TIME,2026,341,12,00,00,2,2,1\r\n"
        "menu Setup Com Port\n"
        "wait 400\n"
        "rx tail\\r";
    const std::string first =
        std::string("$PRID,16,512-6200-04*4C\r\n") + std::string("\0\xFF\t\\\"  two blanks  ", 19);
    std::string body = "TIME,2026,341,12,00,00,2,2,1";
    unsigned sum = 0;
    for (char ch : body) sum ^= static_cast<unsigned char>(ch);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    const std::string second = "$" + body + "*" + digits + "\r\n";
    const std::string expected = first + second + "tail\r";

    const std::string path = WriteFile("good.replay", capture);
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--play", path, "--speed", "2"}));
    const int fd = ::open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::cfmakeraw(&tio);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);

    std::string bytes;
    std::vector<CArrival> arrivals;
    ReadFor(fd, 300, 1, bytes, arrivals);
    EXPECT_EQ(bytes, "") << "played before the program sent anything";

    const auto spoke = Clock::now();
    ASSERT_EQ(::write(fd, "$PRID*\r\n", 8), 8);
    ReadFor(fd, 10000, expected.size(), bytes, arrivals);
    EXPECT_EQ(bytes, expected);
    // Each wait of 400 ms is 200 ms at speed 2; nothing may come early.
    using std::chrono::milliseconds;
    EXPECT_GE(ArrivalOf(arrivals, first.size()) - spoke, milliseconds(180));
    EXPECT_GE(ArrivalOf(arrivals, first.size() + second.size()) - spoke, milliseconds(380));

    // At the end the unit stays, silent, whatever the program sends.
    ASSERT_EQ(::write(fd, "$UNSL,TIME,1*\r\n", 15), 15);
    ReadFor(fd, 300, expected.size() + 1, bytes, arrivals);
    EXPECT_EQ(bytes.size(), expected.size());
    ::close(fd);
    sim.Stop();
    ::unlink(path.c_str());
}

// The program's start-up queries start the capture, so what the unit said
// then reaches the program as it did when the session was recorded.
TEST(UnitSimPlayTest, TheProgramTakesAPlayedCaptureForAUnit)
{
    const std::string path = WriteFile("unit.replay",
                                       "start\n"
                                       "# tx $PRID*\\r\\n\n"
                                       "rxs PRID,16,512-6200-04\n"
                                       "wait 500\n"
                                       "rxs EFER,-4.69E-12\n"
                                       "rxs TIMD,-17\n");
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--quiet", "--play", path}));
    CSession session(sim.DevicePath());
    CProgram& program = session.m_program;
    ASSERT_TRUE(session.RunUntil([&] { return program.Session().State().m_nLastTimeDiff == -17; }, 10000));
    EXPECT_TRUE(program.Session().State().m_bIdentified);
    EXPECT_EQ(program.Session().State().m_nProductType, 16);
    EXPECT_EQ(program.Session().State().m_strFreqErrorEstimate, "-4.69E-12");
    sim.Stop();
    ::unlink(path.c_str());
}

TEST(UnitSimPlayTest, RefusesABadCaptureNamingTheLine)
{
    const struct {
        std::string m_strText;  // empty: no such file
        std::string m_strMessage;
    } kCases[] = {
        {"rx ok\nwait 10\nbogus 1\n", "line 3: unknown directive 'bogus'"},
        {"# comment\nrx \\q\n", "line 2: bad escape"},
        {"rx a\r\n\r\nwait 1.5\r\n", "line 3: 'wait' needs a number"},
        {"rx \n", "line 1: 'rx' needs bytes"},
        {std::string("rx a\nrx b\0c\n", 12), "line 2: NUL byte"},
        {"", "No such file"},
    };
    for (const auto& bad : kCases) {
        const std::string& text = bad.m_strText;
        std::string path = WriteFile("bad.replay", text);
        if (text.empty()) ::unlink(path.c_str());
        const std::string command = std::string(VELMOR_UNITSIM_PATH) + " --play " + path + " 2>&1";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[256];
        std::size_t count = 0;
        while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
        const int status = ::pclose(pipe);
        ::unlink(path.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << text;
        EXPECT_EQ(WEXITSTATUS(status), 2) << text;
        EXPECT_NE(output.find(path + ": " + bad.m_strMessage), std::string::npos) << output;
        EXPECT_EQ(output.find("/dev/"), std::string::npos) << "offered a device: " << output;
    }
}

}  // namespace
}  // namespace velmor::e2e
