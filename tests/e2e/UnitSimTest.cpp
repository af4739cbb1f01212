// Runs the real velmor-unitsim on a pseudo-terminal and talks to it the way
// the program does. Every wait is a poll() with a generous deadline, so the
// tests hold on a loaded machine; the few "nothing arrives" checks run the
// unit's clock fast so that a short wait covers several of its seconds.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#ifndef VELMOR_UNITSIM_PATH
#error "VELMOR_UNITSIM_PATH must name the built velmor-unitsim"
#endif

namespace {

using Clock = std::chrono::steady_clock;

struct CReceived {
    std::string m_strBody;
    bool m_bChecked = false;  // it carried checksum digits
    bool m_bChecksumOk = false;
    std::size_t m_nEnd = 0;    // offset in the raw bytes just after the digits
    std::size_t m_nIndex = 0;  // position in the list of received sentences
};

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;  // the unit writes upper case only
}

std::vector<std::string> Fields(const std::string& body)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = body.find(',', start);
        out.push_back(body.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

class CUnitSim {
public:
    ~CUnitSim()
    {
        Stop();
        if (m_nTerminal >= 0) ::close(m_nTerminal);
    }

    // Starts the simulator and opens its terminal raw at |baud|.
    bool Start(const std::vector<std::string>& options, speed_t baud = B19200)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return false;
        std::vector<std::string> args{VELMOR_UNITSIM_PATH, "--quiet"};
        args.insert(args.end(), options.begin(), options.end());
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (m_pid < 0) {
            ::close(out[0]);
            return false;
        }
        const bool bGotPath = ReadLine(out[0], m_strPath, 15000);
        ::close(out[0]);
        if (!bGotPath || m_strPath.empty()) return false;
        m_nTerminal = ::open(m_strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_nTerminal < 0) return false;
        return SetRate(baud);
    }

    bool SetRate(speed_t baud)
    {
        termios tio{};
        if (::tcgetattr(m_nTerminal, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, baud);
        ::cfsetospeed(&tio, baud);
        return ::tcsetattr(m_nTerminal, TCSANOW, &tio) == 0;
    }

    // SIGTERM and wait; the exit status, or -1 when it had to be killed.
    int Stop()
    {
        if (m_pid <= 0) return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline) {
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::poll(nullptr, 0, 10);
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return -1;
    }

    bool Signal(int number) { return m_pid > 0 && ::kill(m_pid, number) == 0; }

    void Send(const std::string& bytes) { ASSERT_EQ(::write(m_nTerminal, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // Reads until |done| holds for what was received, or |timeoutMs| passes.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (done()) return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return false;
            pollfd pfd{m_nTerminal, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left)) > 0) Drain();
        }
    }

    // Waits for a sentence whose body begins with |prefix|, received at
    // index |from| or later. A copy: the list grows while we wait.
    std::optional<CReceived> WaitForBody(const std::string& prefix, int timeoutMs, std::size_t from = 0)
    {
        std::optional<CReceived> found;
        WaitFor(
            [&] {
                for (std::size_t i = from; i < m_received.size(); ++i)
                    if (m_received[i].m_strBody.rfind(prefix, 0) == 0) {
                        found = m_received[i];
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return found;
    }

    std::size_t Count(const std::string& prefix, std::size_t from = 0) const
    {
        std::size_t count = 0;
        for (std::size_t i = from; i < m_received.size(); ++i)
            if (m_received[i].m_strBody.rfind(prefix, 0) == 0) ++count;
        return count;
    }

    // The two bytes after a sentence's checksum digits, once both are there.
    std::string Terminator(const CReceived& sentence)
    {
        const std::size_t end = sentence.m_nEnd;
        WaitFor([&] { return m_strRaw.size() >= end + 2; }, 2000);
        return m_strRaw.substr(end, 2);
    }

    const std::string& Path() const { return m_strPath; }
    const std::string& Raw() const { return m_strRaw; }
    std::vector<CReceived> m_received;

private:
    static bool ReadLine(int fd, std::string& line, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        char ch = 0;
        while (Clock::now() < deadline) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) continue;
            const ssize_t count = ::read(fd, &ch, 1);
            if (count <= 0) return false;
            if (ch == '\n') return true;
            line += ch;
        }
        return false;
    }

    void Drain()
    {
        char buffer[1024];
        ssize_t count = 0;
        while ((count = ::read(m_nTerminal, buffer, sizeof buffer)) > 0) m_strRaw.append(buffer, static_cast<std::size_t>(count));
        Parse();
    }

    // "$" body "*" H L, then whatever follows; or "$" body and a line end,
    // without checksum (the legacy unit).
    void Parse()
    {
        for (;;) {
            const std::size_t start = m_strRaw.find('$', m_nParsed);
            if (start == std::string::npos) return;
            const std::size_t stop = m_strRaw.find_first_of("*\r\n", start);
            if (stop == std::string::npos) return;
            CReceived sentence;
            sentence.m_strBody = m_strRaw.substr(start + 1, stop - start - 1);
            sentence.m_nIndex = m_received.size();
            if (m_strRaw[stop] != '*') {
                sentence.m_nEnd = stop;
            } else {
                // Wait for the first terminator byte too, so that it can be checked.
                if (stop + 4 > m_strRaw.size()) return;
                unsigned sum = 0;
                for (char ch : sentence.m_strBody) sum ^= static_cast<unsigned char>(ch);
                const int high = HexValue(m_strRaw[stop + 1]);
                const int low = HexValue(m_strRaw[stop + 2]);
                sentence.m_bChecked = true;
                sentence.m_bChecksumOk = high >= 0 && low >= 0 && static_cast<unsigned>(high * 16 + low) == sum;
                sentence.m_nEnd = stop + 3;
            }
            m_received.push_back(sentence);
            m_nParsed = sentence.m_nEnd;
        }
    }

    pid_t m_pid = -1;
    int m_nTerminal = -1;
    std::string m_strPath;
    std::string m_strRaw;
    std::size_t m_nParsed = 0;
};

TEST(UnitSimTest, AnswersPridWithAChecksummedSentenceAndKeepsTimeOnceSubscribed)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({}));
    EXPECT_EQ(sim.Path().rfind("/dev/", 0), 0u) << sim.Path();

    sim.Send("$PRID*\r\n");
    const std::optional<CReceived> prid = sim.WaitForBody("PRID,", 2000);
    ASSERT_TRUE(prid) << "no PRID reply; received: " << sim.Raw();
    EXPECT_TRUE(prid->m_bChecksumOk);
    EXPECT_EQ(sim.Terminator(*prid), "\r\n");
    EXPECT_EQ(Fields(prid->m_strBody)[1], "16");  // the default unit
    EXPECT_EQ(sim.Count("TIME"), 0u);             // nothing unsolicited before a subscription

    sim.Send("$UNSL,TIME,1*\r\n");
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Count("TIME,") >= 3; }, 15000)) << sim.Raw();
    std::vector<int> seconds;
    for (const CReceived& sentence : sim.m_received) {
        if (sentence.m_strBody.rfind("TIME,", 0) != 0) continue;
        EXPECT_TRUE(sentence.m_bChecksumOk) << sentence.m_strBody;
        const std::vector<std::string> fields = Fields(sentence.m_strBody);
        ASSERT_EQ(fields.size(), 9u) << sentence.m_strBody;  // keyword and eight fields
        EXPECT_EQ(fields[2].size(), 3u);                      // day of year
        seconds.push_back(std::atoi(fields[5].c_str()));
    }
    // Once a second: consecutive reports are one second apart on the unit's clock.
    for (std::size_t i = 1; i < seconds.size(); ++i) EXPECT_EQ((seconds[i - 1] + 1) % 60, seconds[i]);
}

TEST(UnitSimTest, EchoesSetCommandsIncludingTwiceFramedPulseCommands)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--type", "16"}));

    sim.Send("$ANTD,000005*\r\n");
    const std::optional<CReceived> echo = sim.WaitForBody("ANTD,", 5000);
    ASSERT_TRUE(echo) << sim.Raw();
    EXPECT_EQ(echo->m_strBody, "ANTD,000005");

    // The program frames these bodies a second time.
    sim.Send("$$pule,0*\r\n*\r\n");
    sim.Send("$$ofst,-120**\r\n");
    const std::optional<CReceived> pule = sim.WaitForBody("PULE,", 5000);
    const std::optional<CReceived> ofst = sim.WaitForBody("OFST,", 5000);
    ASSERT_TRUE(pule) << sim.Raw();
    ASSERT_TRUE(ofst) << sim.Raw();
    EXPECT_EQ(pule->m_strBody, "PULE,0");
    EXPECT_EQ(ofst->m_strBody, "OFST,-120");

    // An empty field survives the round trip.
    sim.Send("$ROUT,A,5,,0,1*\r\n");
    const std::optional<CReceived> rout = sim.WaitForBody("ROUT,", 5000);
    ASSERT_TRUE(rout) << sim.Raw();
    EXPECT_EQ(rout->m_strBody, "ROUT,A,5,,0,1");

    // A query is answered with the same keyword's report, now holding the new value.
    const std::size_t before = sim.m_received.size();
    sim.Send("$ANTD*\r\n");
    const std::optional<CReceived> query = sim.WaitForBody("ANTD,", 5000, before);
    ASSERT_TRUE(query) << sim.Raw();
    EXPECT_EQ(query->m_strBody, "ANTD,000005");
}

TEST(UnitSimTest, StopsEveryReportOnUnslXxxx)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--speed", "4", "--state", "1"}));
    sim.Send("$UNSL,TIME,1*\r\n$UNSL,SIGQ,1*\r\n");
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Count("TIME,") >= 2 && sim.Count("SIGQ,") >= 2; }, 15000)) << sim.Raw();

    sim.Send("$UNSL,XXXX,1*\r\n$PRID*\r\n");
    // The PRID reply marks the point after which the stop has been taken.
    const std::size_t mark = sim.m_received.size();
    const std::optional<CReceived> prid = sim.WaitForBody("PRID,", 5000, mark);
    ASSERT_TRUE(prid);
    const std::size_t after = prid->m_nIndex + 1;
    // About six of the unit's seconds at speed 4.
    sim.WaitFor([] { return false; }, 1500);
    EXPECT_EQ(sim.Count("TIME,", after), 0u);
    EXPECT_EQ(sim.Count("SIGQ,", after), 0u);
}

// The legacy unit's sentences carry no checksum: a receiver would take the CR
// after checksum digits as the start of the next body and lose that sentence.
TEST(UnitSimTest, LegacyUnitSendsUncheckedSentencesEndedByCarriageReturn)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--type", "9", "--state", "1"}));
    sim.Send("$PRID*\r");
    const std::optional<CReceived> prid = sim.WaitForBody("PRID,", 5000);
    ASSERT_TRUE(prid) << sim.Raw();
    EXPECT_FALSE(prid->m_bChecked);
    EXPECT_EQ(Fields(prid->m_strBody)[1], "9");

    sim.Send("$UNSL,TM,1*\r$EID000005*\r");
    const std::optional<CReceived> tm = sim.WaitForBody("TM,", 10000);
    ASSERT_TRUE(tm) << sim.Raw();
    EXPECT_FALSE(tm->m_bChecked);
    const std::vector<std::string> fields = Fields(tm->m_strBody);
    ASSERT_EQ(fields.size(), 8u) << tm->m_strBody;
    EXPECT_EQ(fields[1], "3");  // locked, in the legacy status digit
    const std::optional<CReceived> id = sim.WaitForBody("ID,", 5000);
    ASSERT_TRUE(id);
    EXPECT_EQ(id->m_strBody, "ID,000005");

    EXPECT_EQ(sim.Raw().find('\n'), std::string::npos);
    EXPECT_EQ(sim.Raw()[prid->m_nEnd], '\r');
}

TEST(UnitSimTest, BadChecksumOptionCorruptsTheChecksum)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--bad-checksum", "100"}));
    sim.Send("$PRID*\r\n");
    const std::optional<CReceived> prid = sim.WaitForBody("PRID,", 5000);
    ASSERT_TRUE(prid) << sim.Raw();
    EXPECT_TRUE(prid->m_bChecked);
    EXPECT_FALSE(prid->m_bChecksumOk);
}

TEST(UnitSimTest, AnswersOnlyOnceTheLineRateMatches)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--baud", "9600", "--speed", "4", "--state", "1"}, B19200));
    sim.Send("$PRID*\r\n");
    EXPECT_FALSE(sim.WaitForBody("PRID,", 1500)) << "answered at the wrong rate";

    ASSERT_TRUE(sim.SetRate(B9600));
    sim.Send("$PRID*\r\n");
    const std::optional<CReceived> prid = sim.WaitForBody("PRID,", 5000);
    ASSERT_TRUE(prid) << sim.Raw();
    EXPECT_TRUE(prid->m_bChecksumOk);
}

TEST(UnitSimTest, DisciplineWarmsUpLocksAndCoasts)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--speed", "10", "--warmup", "5", "--coast-after", "30"}));
    sim.Send("$UNSL,TIME,1*\r\n");
    auto sawState = [&](char state) {
        for (const CReceived& sentence : sim.m_received)
            if (sentence.m_strBody.rfind("TIME,", 0) == 0 && sentence.m_strBody.back() == state) return true;
        return false;
    };
    ASSERT_TRUE(sim.WaitFor([&] { return sawState('0'); }, 10000)) << sim.Raw();
    ASSERT_TRUE(sim.WaitFor([&] { return sawState('1'); }, 20000)) << sim.Raw();
    ASSERT_TRUE(sim.WaitFor([&] { return sawState('2'); }, 30000)) << sim.Raw();
}

TEST(UnitSimTest, AveragesPositionCountingDownAndReportsEightChannels)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--speed", "10", "--state", "1", "--position-mode", "P"}));
    sim.Send("$UNSL,PAVG,1*\r\n$UNSL,SIGQ,1*\r\n");
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Count("PAVG,") >= 3 && sim.Count("SIGQ,") >= 1; }, 15000)) << sim.Raw();
    std::vector<int> left;
    for (const CReceived& sentence : sim.m_received) {
        const std::vector<std::string> fields = Fields(sentence.m_strBody);
        if (fields[0] == "PAVG") {
            ASSERT_EQ(fields.size(), 9u) << sentence.m_strBody;  // type 16 adds the averaging seconds
            left.push_back(std::atoi(fields[8].c_str()));
        } else if (fields[0] == "SIGQ") {
            EXPECT_EQ(fields.size(), 25u) << sentence.m_strBody;
        }
    }
    for (std::size_t i = 1; i < left.size(); ++i) EXPECT_LT(left[i], left[i - 1]);

    // Leaving averaging is echoed, and a known position no longer counts down.
    sim.Send("$TRMO,K*\r\n");
    const std::optional<CReceived> mode = sim.WaitForBody("TRMO,", 5000);
    ASSERT_TRUE(mode) << sim.Raw();
    EXPECT_EQ(mode->m_strBody, "TRMO,K");
    const std::optional<CReceived> after = sim.WaitForBody("PAVG,", 5000, mode->m_nIndex + 1);
    ASSERT_TRUE(after);
    EXPECT_EQ(Fields(after->m_strBody).back(), "0");
}

TEST(UnitSimTest, RemovesItsSymlinkOnSigterm)
{
    const std::string link = "/tmp/velmor-unitsim-test-" + std::to_string(::getpid());
    ::unlink(link.c_str());
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--link", link}));
    char target[256] = {};
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    ASSERT_GT(length, 0);
    EXPECT_EQ(std::string(target, static_cast<std::size_t>(length)), sim.Path());

    EXPECT_EQ(sim.Stop(), 0);
    struct stat info{};
    EXPECT_NE(::lstat(link.c_str(), &info), 0);
}

TEST(UnitSimTest, PowerCycleOnSigusr2ForgetsSubscriptionsKeepsSettingsAndWarmsUpAgain)
{
    CUnitSim sim;
    ASSERT_TRUE(sim.Start({"--speed", "4", "--state", "1"}));
    sim.Send("$ANTD,000007*\r\n$UNSL,TIME,1*\r\n");
    ASSERT_TRUE(sim.WaitForBody("ANTD,000007", 5000)) << sim.Raw();
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Count("TIME,") >= 2; }, 10000)) << sim.Raw();
    EXPECT_EQ(sim.m_received.back().m_strBody.back(), '1');  // locked before the cycle

    ASSERT_TRUE(sim.Signal(SIGUSR2));
    // Two of the unit's seconds of silence, then no subscriptions: nothing more arrives.
    sim.WaitFor([] { return false; }, 1000);
    const std::size_t mark = sim.m_received.size();
    sim.WaitFor([] { return false; }, 1500);
    EXPECT_EQ(sim.Count("TIME,", mark), 0u) << sim.Raw().substr(sim.Raw().size() > 400 ? sim.Raw().size() - 400 : 0);

    sim.Send("$PRID*\r\n$ANTD*\r\n$UNSL,TIME,1*\r\n");
    const std::optional<CReceived> prid = sim.WaitForBody("PRID,", 5000, mark);
    ASSERT_TRUE(prid) << sim.Raw();
    EXPECT_EQ(Fields(prid->m_strBody)[1], "16");
    const std::optional<CReceived> delay = sim.WaitForBody("ANTD,", 5000, mark);
    ASSERT_TRUE(delay);
    EXPECT_EQ(delay->m_strBody, "ANTD,000007");
    const std::optional<CReceived> time = sim.WaitForBody("TIME,", 5000, mark);
    ASSERT_TRUE(time) << sim.Raw();
    EXPECT_EQ(time->m_strBody.back(), '0');  // warming up again
}

}  // namespace
