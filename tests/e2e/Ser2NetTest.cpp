// The real core against the simulated unit served over the network by the
// real ser2net, raw and with RFC 2217: the program opens "tcp://..." or
// "rfc2217://..." as its port device, identifies the unit and fills the page,
// and a rate the program picks reaches the unit's line.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "e2e/UnitSimSession.h"
#include "platform/NetSerialDevice.h"

namespace velmor::e2e {
namespace {

std::string FindSer2Net()
{
    std::vector<std::string> dirs = {"/usr/sbin", "/usr/local/sbin", "/sbin"};
    if (const char* path = std::getenv("PATH")) {
        std::stringstream list(path);
        for (std::string dir; std::getline(list, dir, ':');)
            if (!dir.empty()) dirs.push_back(dir);
    }
    for (const std::string& dir : dirs) {
        const std::string candidate = dir + "/ser2net";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// A loopback port nobody listens on at the moment.
int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

// The inode of the socket listening on 127.0.0.1:|port|, or 0. Connecting
// to find out would make ser2net open the line and race the program's own
// connection, so the kernel's socket table is read instead.
unsigned long ListeningInode(int port)
{
    std::ifstream table("/proc/net/tcp");
    if (!table) return 0;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (local == wanted && state == "0A") return inode;
    }
    return 0;
}

// True when process |pid| holds the socket |inode|: the listener is the
// server we started, not another test's that took the same port first.
bool OwnsSocket(pid_t pid, unsigned long inode)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(dir.c_str());
    if (fds == nullptr) return false;
    const std::string wanted = "socket:[" + std::to_string(inode) + "]";
    bool owned = false;
    while (dirent* entry = ::readdir(fds)) {
        char target[64];
        const ssize_t length =
            ::readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == wanted) {
            owned = true;
            break;
        }
    }
    ::closedir(fds);
    return owned;
}

// ser2net serving one terminal on one loopback port, from a generated
// configuration in a scratch directory.
class CSer2NetProcess {
public:
    ~CSer2NetProcess() { Stop(); }

    // |accepter| is "tcp" or "telnet(rfc2217),tcp"; the line starts at |line|
    // ("19200n81").
    bool Start(const std::string& binary, const std::string& accepter, const std::string& device,
               const std::string& line)
    {
        char scratch[] = "/tmp/velmor-ser2net-XXXXXX";
        if (::mkdtemp(scratch) == nullptr) return false;
        m_strDir = scratch;
        // ser2net cannot be told to take a port of the system's choosing, so
        // a free one is picked, and picked again when another process took it
        // first (ser2net then has no listener of its own).
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_nPort = FreePort();
            if (m_nPort == 0) return false;
            if (Launch(binary, accepter, device, line)) return true;
            KillServer();
        }
        return false;
    }

    // Starts ser2net on m_nPort and waits until it listens there itself.
    bool Launch(const std::string& binary, const std::string& accepter, const std::string& device,
                const std::string& line)
    {
        {
            std::ofstream config(m_strDir + "/ser2net.yaml");
            config << "%YAML 1.1\n---\n"
                   << "connection: &unit\n"
                   << "  accepter: " << accepter << ",127.0.0.1," << m_nPort << "\n"
                   << "  connector: serialdev," << device << "," << line << ",local\n"
                   << "  options:\n"
                   << "    kickolduser: true\n";
        }
        m_pid = ::fork();
        if (m_pid < 0) return false;
        if (m_pid == 0) {
            const int log = ::open((m_strDir + "/ser2net.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (log >= 0) {
                ::dup2(log, STDOUT_FILENO);
                ::dup2(log, STDERR_FILENO);
            }
            const std::string config = m_strDir + "/ser2net.yaml";
            const std::string pidFile = m_strDir + "/ser2net.pid";
            // -n: stay in the foreground; -u: no UUCP lock files (the lock
            // directory may not be ours to write).
            ::execl(binary.c_str(), binary.c_str(), "-n", "-u", "-c", config.c_str(), "-P", pidFile.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            const unsigned long inode = ListeningInode(m_nPort);
            if (inode != 0 && OwnsSocket(m_pid, inode)) return true;
            // Taken by someone else: ser2net says so and serves nothing.
            if (Log().find("in use") != std::string::npos) return false;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void Stop()
    {
        KillServer();
        if (!m_strDir.empty()) {
            for (const char* name : {"/ser2net.yaml", "/ser2net.log", "/ser2net.pid"})
                ::unlink((m_strDir + name).c_str());
            ::rmdir(m_strDir.c_str());
            m_strDir.clear();
        }
    }

    void KillServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            bool bGone = false;
            for (int i = 0; i < 100 && !bGone; ++i) {
                bGone = ::waitpid(m_pid, &status, WNOHANG) == m_pid;
                if (!bGone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (!bGone) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
            m_pid = -1;
        }
    }

    std::string Log() const
    {
        std::ifstream log(m_strDir + "/ser2net.log");
        std::stringstream text;
        text << log.rdbuf();
        return text.str();
    }
    int Port() const { return m_nPort; }

private:
    pid_t m_pid = -1;
    int m_nPort = 0;
    std::string m_strDir;
};

struct Mode {
    const char* m_pszName;
    const char* m_pszScheme;
    const char* m_pszAccepter;
};

class ProgramThroughSer2Net : public ::testing::TestWithParam<Mode> {};

TEST_P(ProgramThroughSer2Net, IdentifiesTheUnitFillsThePageAndSeesTheServerGo)
{
    const Mode& mode = GetParam();
    const std::string ser2net = FindSer2Net();
    if (ser2net.empty()) GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--type", "16"}));
    CSer2NetProcess server;
    ASSERT_TRUE(server.Start(ser2net, mode.m_pszAccepter, sim.DevicePath(), "19200n81")) << server.Log();

    const std::string url = std::string(mode.m_pszScheme) + "://127.0.0.1:" + std::to_string(server.Port());
    CSession session(url);
    CProgram& program = session.m_program;
    ASSERT_TRUE(program.Session().IsPortOpen()) << session.m_device.LastOpenError();
    EXPECT_EQ(session.m_device.CanChangeLineSettings(), std::string(mode.m_pszScheme) == "rfc2217");

    ASSERT_TRUE(session.RunUntil([&] { return program.Session().State().m_bIdentified; }, 10000)) << server.Log();
    EXPECT_EQ(program.Session().State().m_nProductType, 16);
    ASSERT_TRUE(session.RunUntil(
        [&] {
            const CUnitState& s = program.Session().StateForTest();
            return s.m_nYear != 1977 && !s.m_strTimeOfDay.empty() &&
                   session.m_strPage.find(s.m_strTimeOfDay) != std::string::npos;
        },
        15000))
        << "page:\n" << session.m_strPage;
    EXPECT_TRUE(session.m_host.Lines("box").empty()) << session.m_host.Lines("box").front();

    // The server goes away: the device says so instead of reading nothing
    // forever, and the program closes it and goes on trying to reconnect.
    server.Stop();
    EXPECT_TRUE(session.RunUntil([&] { return program.Session().IsPortLost(); }, 10000));
    EXPECT_TRUE(session.m_host.Lines("box").empty()) << session.m_host.Lines("box").front();
}

INSTANTIATE_TEST_SUITE_P(Modes, ProgramThroughSer2Net,
                         ::testing::Values(Mode{"Raw", "tcp", "tcp"},
                                           Mode{"Rfc2217", "rfc2217", "telnet(rfc2217),tcp"}),
                         [](const auto& info) { return std::string(info.param.m_pszName); });

TEST(ProgramThroughSer2NetRate, Rfc2217CarriesTheBaudSwitchToTheLine)
{
    const std::string ser2net = FindSer2Net();
    if (ser2net.empty()) GTEST_SKIP() << "ser2net is not installed (Debian package ser2net)";
    // The unit answers only at 9600; ser2net starts its line at 19200, as
    // does the program. Only a rate sent through RFC 2217 can make them meet.
    CUnitSimProcess sim;
    ASSERT_TRUE(sim.Start({"--type", "16", "--baud", "9600"}));
    CSer2NetProcess server;
    ASSERT_TRUE(server.Start(ser2net, "telnet(rfc2217),tcp", sim.DevicePath(), "19200n81")) << server.Log();

    CSession session("rfc2217://127.0.0.1:" + std::to_string(server.Port()), 19200);
    CProgram& program = session.m_program;
    ASSERT_TRUE(program.Session().IsPortOpen()) << session.m_device.LastOpenError();
    auto* net = dynamic_cast<CNetSerialDevice*>(session.m_device.Current());
    ASSERT_NE(net, nullptr);
    EXPECT_EQ(net->ConfirmedBaud(), 19200u);

    ASSERT_TRUE(session.RunUntil([&] { return program.Session().State().m_bIdentified; }, 40000, 4))
        << "rate " << program.Session().Serial().m_nBaud << ", boxes " << session.m_host.Lines("box").size() << "\n"
        << server.Log();
    EXPECT_EQ(program.Session().Serial().m_nBaud, 9600);
    EXPECT_EQ(net->ConfirmedBaud(), 9600u);
    const auto boxes = session.m_host.Lines("box");
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes.front().find("New RS-232 Baud Rate: 9600 was 19200"), std::string::npos) << boxes.front();
}

}  // namespace
}  // namespace velmor::e2e
