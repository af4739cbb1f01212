// velmor-unitsim: a simulated reference unit on a pseudo-terminal.
//
// One thread, one poll() loop. The unit's clock is the wall clock scaled by
// --speed; each time it passes a whole second the unit ticks and sends the
// reports due. Commands are answered as soon as they are read. Faults
// (bad checksums, noise, silence, a wrong line rate) are applied here, on the
// way out, so the unit model itself stays a faithful unit. With --play a
// recording takes the unit's place (SimPlayer) on the same terminal.

#include "PtyPort.h"
#include "SimFraming.h"
#include "SimOptions.h"
#include "SimPlayer.h"
#include "SimText.h"
#include "SimUnit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmor {

namespace {

int g_anSignalPipe[2] = {-1, -1};

extern "C" void OnSignal(int number)
{
    const int saved = errno;
    const char mark = number == SIGUSR1 ? 'U' : number == SIGUSR2 ? 'R' : 'T';
    if (g_anSignalPipe[1] >= 0) {
        [[maybe_unused]] ssize_t ignored = ::write(g_anSignalPipe[1], &mark, 1);
    }
    errno = saved;
}

bool ReadWholeFile(const std::string& path, std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
    const bool bFailed = std::ferror(file) != 0;
    // A directory opens but does not read: say why.
    if (bFailed) error = std::strerror(errno);
    std::fclose(file);
    return !bFailed;
}

bool InstallSignals()
{
    if (::pipe(g_anSignalPipe) != 0) return false;
    for (int fd : g_anSignalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGUSR1, &action, nullptr);
    ::sigaction(SIGUSR2, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

// What a receiver set to the wrong rate makes of a sentence: bytes, but none
// that a sentence assembler could take for a start or an end of line.
std::string Garble(const std::string& bytes)
{
    std::string out(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<char>(0x80 | ((static_cast<unsigned char>(bytes[i]) * 37 + 11) & 0x7F));
    return out;
}

class CSimulator {
public:
    CSimulator(const CSimOptions& options, CPtyPort& port, std::FILE* log, CPtyPort* counterPort, std::FILE* truth)
        : m_options(options), m_port(port), m_log(log), m_pCounterPort(counterPort), m_truth(truth),
          m_counter(options.m_counter, options.m_unit.m_nSeed), m_random(options.m_unit.m_nSeed * 2654435761u + 7u),
          m_start(std::chrono::steady_clock::now()),
          m_dEpoch(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count()),
          m_dLastSecond(std::floor(m_dEpoch)), m_unit(options.m_unit, static_cast<std::int64_t>(m_dLastSecond))
    {
    }

    int Run();

private:
    double UnitElapsed() const
    {
        const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        return real * m_options.m_dSpeed;
    }
    bool RateMismatch() const { return m_options.m_nBaud > 0 && m_port.LineRate() != m_options.m_nBaud; }
    bool Silent(double elapsed) const
    {
        if (m_options.m_dSilenceFor <= 0 || m_options.m_dSilenceEvery <= 0) return false;
        return std::fmod(elapsed, m_options.m_dSilenceEvery) >= m_options.m_dSilenceEvery - m_options.m_dSilenceFor;
    }
    bool Chance(double percent)
    {
        return percent > 0 && std::uniform_real_distribution<double>(0.0, 100.0)(m_random) < percent;
    }
    void Log(char direction, const std::string& text, const char* note = "")
    {
        if (m_log == nullptr) return;
        std::fprintf(m_log, "%10.3f %c %s%s\n", UnitElapsed(), direction, simtext::Printable(text).c_str(), note);
    }
    void Send(std::vector<std::string>& bodies);
    void ReadCommands();
    // The counter's lines and the true phase for the second just ticked.
    void CounterSecond();

    const CSimOptions& m_options;
    CPtyPort& m_port;
    std::FILE* m_log;
    CPtyPort* m_pCounterPort;
    std::FILE* m_truth;
    CSimCounter m_counter;
    std::int64_t m_nSecondsRun = 0;
    std::mt19937 m_random;
    std::chrono::steady_clock::time_point m_start;
    double m_dEpoch;       // UTC seconds at start
    double m_dLastSecond;  // the unit's last whole second, UTC
    CSimUnit m_unit;
    CCommandReader m_reader;
};

void CSimulator::Send(std::vector<std::string>& bodies)
{
    const double elapsed = UnitElapsed();
    const bool bSilent = Silent(elapsed);
    const bool bGarbled = RateMismatch();
    for (const std::string& body : bodies) {
        if (bSilent) {
            Log('>', body, "  [silenced]");
            continue;
        }
        const bool bBad = !m_unit.Legacy() && Chance(m_options.m_dBadChecksumPercent);
        std::string bytes;
        if (Chance(m_options.m_dNoisePercent)) {
            const int count = 1 + static_cast<int>(m_random() % 8);
            for (int i = 0; i < count; ++i) bytes += static_cast<char>(m_random() % 256);
            Log('>', bytes, "  [noise]");
        }
        bytes += FrameReply(body, m_unit.Legacy(), bBad, static_cast<std::uint8_t>(1 + m_random() % 255));
        Log('>', body, bGarbled ? "  [wrong rate: garbled]" : bBad ? "  [bad checksum]" : "");
        m_port.Queue(bGarbled ? Garble(bytes) : bytes);
    }
    bodies.clear();
    m_port.Flush();
}

void CSimulator::CounterSecond()
{
    ++m_nSecondsRun;
    const double phaseNs = m_unit.TruePhaseNs();
    if (m_truth != nullptr)
        std::fprintf(m_truth, "%lld %.15e\n", static_cast<long long>(m_dLastSecond), phaseNs * 1e-9);
    if (m_pCounterPort == nullptr) return;
    m_pCounterPort->Queue(m_counter.Second(m_nSecondsRun, phaseNs));
    m_pCounterPort->Flush();
}

void CSimulator::ReadCommands()
{
    char buffer[512];
    std::vector<std::string> commands;
    std::vector<std::string> replies;
    for (;;) {
        const long count = m_port.Read(buffer, sizeof buffer);
        if (count <= 0) return;
        if (RateMismatch()) {
            // At the wrong rate the unit hears only framing errors.
            Log('<', std::string(buffer, static_cast<std::size_t>(count)), "  [wrong rate: not understood]");
            continue;
        }
        m_reader.Feed(buffer, static_cast<std::size_t>(count), commands);
        for (const std::string& command : commands) {
            Log('<', command, m_unit.Restarting() ? "  [restarting]" : "");
            m_unit.HandleCommand(command, replies);
        }
        commands.clear();
        Send(replies);
    }
}

int CSimulator::Run()
{
    std::vector<std::string> reports;
    for (;;) {
        const double now = m_dEpoch + UnitElapsed();
        int ticks = 0;
        while (now >= m_dLastSecond + 1) {
            m_dLastSecond += 1;
            m_unit.Tick(static_cast<std::int64_t>(m_dLastSecond), reports);
            Send(reports);
            CounterSecond();
            if (++ticks >= 1000) {
                // Far behind (a stopped process, a huge speed): catch up the clock, not the reports.
                m_dLastSecond = std::floor(now);
                break;
            }
        }
        const double wait = (m_dLastSecond + 1 - (m_dEpoch + UnitElapsed())) / m_options.m_dSpeed;
        const int timeout = static_cast<int>(std::clamp(std::ceil(wait * 1000.0), 1.0, 1000.0));

        pollfd fds[3] = {{m_port.MasterFd(), static_cast<short>(POLLIN | (m_port.HasPending() ? POLLOUT : 0)), 0},
                         {g_anSignalPipe[0], POLLIN, 0},
                         {-1, 0, 0}};
        if (m_pCounterPort != nullptr)
            fds[2] = {m_pCounterPort->MasterFd(),
                      static_cast<short>(POLLIN | (m_pCounterPort->HasPending() ? POLLOUT : 0)), 0};
        const int ready = ::poll(fds, 3, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            std::perror("velmor-unitsim: poll");
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            char marks[16];
            const ssize_t count = ::read(g_anSignalPipe[0], marks, sizeof marks);
            for (ssize_t i = 0; i < count; ++i) {
                if (marks[i] == 'T') return 0;
                if (marks[i] == 'R') {
                    m_unit.PowerCycle();
                    // Whatever was half-received dies with the unit's receiver.
                    m_reader = CCommandReader();
                    if (!m_options.m_bQuiet) std::fprintf(stderr, "velmor-unitsim: power cycle\n");
                    Log('!', "power cycle");
                    continue;
                }
                m_unit.SetGpsLost(!m_unit.GpsLost());
                if (!m_options.m_bQuiet)
                    std::fprintf(stderr, "velmor-unitsim: GPS reception %s\n", m_unit.GpsLost() ? "lost" : "back");
                Log('!', m_unit.GpsLost() ? "GPS lost" : "GPS back");
            }
        }
        if (fds[0].revents & POLLIN) ReadCommands();
        if (m_pCounterPort != nullptr) {
            // A counter listens to nothing: what the program sends is dropped.
            char ignored[256];
            if (fds[2].revents & POLLIN) m_pCounterPort->Read(ignored, sizeof ignored);
            if (fds[2].revents & POLLOUT) m_pCounterPort->Flush();
        }
        if (fds[0].revents & POLLOUT) m_port.Flush();
        if ((fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN)) {
            // Nobody on the other side (should not happen while we hold the
            // slave open): do not spin.
            ::poll(nullptr, 0, 50);
        }
    }
}

}  // namespace

}  // namespace velmor

int main(int argc, char** argv)
{
    using namespace velmor;
    CSimOptions options;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "velmor-unitsim: %s\n%s", error.c_str(), SimUsage());
        return 2;
    }
    if (options.m_bHelp) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    std::vector<CPlayStep> capture;
    if (!options.m_strPlay.empty()) {
        std::string text;
        if (!ReadWholeFile(options.m_strPlay, text, error) || !ParsePlayScript(text, capture, error)) {
            std::fprintf(stderr, "velmor-unitsim: %s: %s\n", options.m_strPlay.c_str(), error.c_str());
            return 2;
        }
    }
    if (!InstallSignals()) {
        std::perror("velmor-unitsim: pipe");
        return 1;
    }
    CPtyPort port;
    if (!port.Open(error) || (!options.m_strLink.empty() && !port.MakeLink(options.m_strLink, error))) {
        std::fprintf(stderr, "velmor-unitsim: %s\n", error.c_str());
        return 1;
    }
    CPtyPort counterPort;
    if (!options.m_strCounter.empty() &&
        (!counterPort.Open(error) || !counterPort.MakeLink(options.m_strCounter, error))) {
        std::fprintf(stderr, "velmor-unitsim: counter: %s\n", error.c_str());
        port.RemoveLink();
        return 1;
    }
    std::FILE* truth = nullptr;
    if (!options.m_strTruth.empty()) {
        truth = std::fopen(options.m_strTruth.c_str(), "w");
        if (truth == nullptr) {
            std::fprintf(stderr, "velmor-unitsim: cannot write %s: %s\n", options.m_strTruth.c_str(),
                         std::strerror(errno));
            return 1;
        }
        std::setvbuf(truth, nullptr, _IOLBF, 0);
    }
    std::FILE* log = nullptr;
    if (!options.m_strLog.empty()) {
        log = std::fopen(options.m_strLog.c_str(), "w");
        if (log == nullptr) {
            std::fprintf(stderr, "velmor-unitsim: cannot write %s: %s\n", options.m_strLog.c_str(), std::strerror(errno));
            return 1;
        }
        std::setvbuf(log, nullptr, _IOLBF, 0);
    }
    // The first line is the device path, alone, for scripts and tests.
    std::printf("%s\n", port.SlavePath().c_str());
    // With a counter, its device path is the second line.
    if (!options.m_strCounter.empty()) std::printf("%s\n", counterPort.SlavePath().c_str());
    std::fflush(stdout);
    if (!options.m_bQuiet && !options.m_strCounter.empty())
        std::fprintf(stderr, "velmor-unitsim: counter (%s lines) on %s, linked from %s\n",
                     options.m_counter.m_bReading ? "reading" : "timestamp", counterPort.SlavePath().c_str(),
                     options.m_strCounter.c_str());
    if (!options.m_bQuiet && !options.m_strPlay.empty()) {
        std::fprintf(stderr, "velmor-unitsim: playing %s (%zu steps) on %s%s%s; it starts when the program sends\n",
                     options.m_strPlay.c_str(), capture.size(), port.SlavePath().c_str(),
                     options.m_strLink.empty() ? "" : ", linked from ", options.m_strLink.c_str());
    } else if (!options.m_bQuiet) {
        const std::string part =
            options.m_unit.m_strPart.empty() ? DefaultPartNumber(options.m_unit.m_nType) : options.m_unit.m_strPart;
        std::fprintf(stderr, "velmor-unitsim: unit type %d (%s) on %s%s%s\n", options.m_unit.m_nType, part.c_str(),
                     port.SlavePath().c_str(), options.m_strLink.empty() ? "" : ", linked from ",
                     options.m_strLink.c_str());
    }
    int result = 0;
    if (!options.m_strPlay.empty()) {
        result = PlayCapture(capture, options.m_dSpeed, port, g_anSignalPipe[0], log, options.m_bQuiet);
    } else {
        CSimulator simulator(options, port, log, options.m_strCounter.empty() ? nullptr : &counterPort, truth);
        result = simulator.Run();
    }
    port.RemoveLink();
    counterPort.RemoveLink();
    if (truth != nullptr) std::fclose(truth);
    if (log != nullptr) std::fclose(log);
    if (!options.m_bQuiet) std::fprintf(stderr, "velmor-unitsim: stopped\n");
    return result;
}
