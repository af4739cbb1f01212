// The desktop program's options, and the display question asked before Qt
// starts, against sockets the test listens on itself.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "CommandLine.h"

namespace velmor::test {
namespace {

TEST(CommandLineTest, OptionsHelpAndVersionAndWhatIsRefused)
{
    CDesktopOptions options;
    std::string error;
    ASSERT_EQ(ParseDesktopOptions({"--capture", "s.replay", "--history-db", "/tmp/h.db", "--no-history", "--counter",
                                   "tcp://ticc:5000"},
                                  false, options, error),
              DesktopVerdict::Run);
    EXPECT_EQ(options.m_strCounterDevice, "tcp://ticc:5000");
    EXPECT_EQ(options.m_strCapturePath, "s.replay");
    EXPECT_EQ(options.m_strHistoryPath, "/tmp/h.db");
    EXPECT_FALSE(options.m_bRecordHistory);

    // --help and --version decide at once, wherever they stand; a value that
    // looks like one is still a value.
    EXPECT_EQ(ParseDesktopOptions({"--no-history", "--help", "--bogus"}, false, options, error), DesktopVerdict::Help);
    EXPECT_EQ(ParseDesktopOptions({"-h"}, false, options, error), DesktopVerdict::Help);
    EXPECT_EQ(ParseDesktopOptions({"--version"}, false, options, error), DesktopVerdict::Version);
    CDesktopOptions named;
    EXPECT_EQ(ParseDesktopOptions({"--capture", "--help"}, false, named, error), DesktopVerdict::Run);
    EXPECT_EQ(named.m_strCapturePath, "--help");

    // Before Qt has taken its options out, others are passed over; after,
    // they are refused and named.
    EXPECT_EQ(ParseDesktopOptions({"-platform", "offscreen", "--no-history"}, true, options, error),
              DesktopVerdict::Run);
    EXPECT_EQ(ParseDesktopOptions({"-platform", "offscreen", "--version"}, true, options, error),
              DesktopVerdict::Version);
    EXPECT_EQ(ParseDesktopOptions({"--bogus"}, false, options, error), DesktopVerdict::Error);
    EXPECT_EQ(error, "unknown option --bogus");
    // Our own options need their values, even before Qt.
    EXPECT_EQ(ParseDesktopOptions({"--capture"}, true, options, error), DesktopVerdict::Error);
    EXPECT_EQ(error, "--capture needs a file name");
    EXPECT_EQ(ParseDesktopOptions({"--history-db", ""}, true, options, error), DesktopVerdict::Error);
    EXPECT_EQ(error, "--history-db needs a path");
    EXPECT_EQ(ParseDesktopOptions({"--counter"}, true, options, error), DesktopVerdict::Error);
    EXPECT_EQ(error, "--counter needs a device");

    // The usage names every option.
    const std::string usage = kDesktopUsage;
    for (const char* option : {"--capture FILE", "--history-db PATH", "--no-history", "--counter DEVICE", "--help", "--version"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

// A Unix socket listening at |path| for as long as it lives.
class CListener {
public:
    explicit CListener(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_bOk = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(m_fd, 4) == 0;
    }
    // A TCP listener on the loopback, on a port the system picks.
    CListener() : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        m_bOk = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(m_fd, 4) == 0 && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
        m_nPort = ntohs(address.sin_port);
    }
    ~CListener()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;
    bool Ok() const { return m_bOk; }
    int Port() const { return m_nPort; }
    void Close()
    {
        ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
    bool m_bOk = false;
    int m_nPort = 0;
};

class DisplayProblemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("velmor-display-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_env.m_strX11SocketDir = m_dir.string();
        m_env.m_strRuntimeDir = m_dir.string();
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::filesystem::path m_dir;
    CDisplayEnvironment m_env;
};

TEST_F(DisplayProblemTest, AnXServerIsFoundByItsSocketOrPortAndNamedWhenAbsent)
{
    // Nothing set at all.
    const std::string none = DisplayProblem(m_env);
    EXPECT_EQ(none, "no display: neither DISPLAY nor WAYLAND_DISPLAY is set"
                    " (QT_QPA_PLATFORM=offscreen runs without one)");

    // :7 with no server, then with one; every spelling of a local display.
    m_env.m_strDisplay = ":7";
    const std::string absent = DisplayProblem(m_env);
    EXPECT_EQ(absent.rfind("cannot open display :7: no X server at " + m_dir.string() + "/X7 (", 0), 0u) << absent;
    EXPECT_EQ(absent.find('\n'), std::string::npos);
    CListener server((m_dir / "X7").string());
    ASSERT_TRUE(server.Ok());
    // More connections than the listener's queue holds and it never
    // accepts: a server with a full queue is there all the same, and the
    // question never blocks.
    for (const char* name : {":7", ":7.0", "unix:7", "unix:7.1", "unix/:7"}) {
        m_env.m_strDisplay = name;
        EXPECT_EQ(DisplayProblem(m_env), "") << name;
    }
    // A socket path as the display's host.
    m_env.m_strDisplay = (m_dir / "X7").string() + ":0";
    EXPECT_EQ(DisplayProblem(m_env), "");

    // A remote display: port base + number.
    CListener tcp;
    ASSERT_TRUE(tcp.Ok());
    m_env.m_nX11TcpBase = tcp.Port() - 3;
    m_env.m_strDisplay = "127.0.0.1:3";
    EXPECT_EQ(DisplayProblem(m_env), "");
    m_env.m_strDisplay = "localhost:3.0";
    EXPECT_EQ(DisplayProblem(m_env), "");
    tcp.Close();
    m_env.m_strDisplay = "127.0.0.1:3";
    const std::string refused = DisplayProblem(m_env);
    EXPECT_NE(refused.find("no X server at 127.0.0.1 port " + std::to_string(m_env.m_nX11TcpBase + 3)),
              std::string::npos)
        << refused;

    // Names that are no display.
    for (const char* bad : {"7", ":", ":x", "host:99999999", ":7a"}) {
        m_env.m_strDisplay = bad;
        EXPECT_NE(DisplayProblem(m_env).find("not a display name"), std::string::npos) << bad;
    }
}

TEST_F(DisplayProblemTest, ThePlatformDecidesWhichServersCount)
{
    // offscreen, minimal and the others that need no server: no question.
    for (const char* platform : {"offscreen", "minimal", "minimal:enable_fonts", "eglfs", "xcb;offscreen"}) {
        m_env.m_strPlatform = platform;
        EXPECT_EQ(DisplayProblem(m_env), "") << platform;
    }
    // xcb asks for X alone: a Wayland compositor does not help it.
    CListener compositor((m_dir / "wayland-1").string());
    ASSERT_TRUE(compositor.Ok());
    m_env.m_strWaylandDisplay = "wayland-1";
    m_env.m_strPlatform = "xcb";
    EXPECT_EQ(DisplayProblem(m_env), "no display: DISPLAY is not set (QT_QPA_PLATFORM=offscreen runs without one)");
    // wayland finds it; so does the default, which tries both.
    m_env.m_strPlatform = "wayland";
    EXPECT_EQ(DisplayProblem(m_env), "");
    m_env.m_strPlatform = "";
    m_env.m_strDisplay = ":9";
    EXPECT_EQ(DisplayProblem(m_env), "");
    m_env.m_strPlatform = "wayland;xcb";
    EXPECT_EQ(DisplayProblem(m_env), "");
    // Both named, neither there: both said, on one line.
    m_env.m_strWaylandDisplay = "wayland-2";
    const std::string both = DisplayProblem(m_env);
    EXPECT_NE(both.find("cannot open Wayland display wayland-2: no compositor at"), std::string::npos) << both;
    EXPECT_NE(both.find("cannot open display :9"), std::string::npos) << both;
    EXPECT_EQ(both.find('\n'), std::string::npos);
    // wayland with nothing named uses the library's default name; an
    // absolute name is a path; a handed-down socket is taken as it is.
    m_env = CDisplayEnvironment{};
    m_env.m_strRuntimeDir = m_dir.string();
    m_env.m_strPlatform = "wayland-egl";
    EXPECT_NE(DisplayProblem(m_env).find("wayland-0"), std::string::npos);
    m_env.m_strWaylandDisplay = (m_dir / "wayland-1").string();
    EXPECT_EQ(DisplayProblem(m_env), "");
    m_env.m_strWaylandDisplay = "wayland-1";
    m_env.m_strRuntimeDir.clear();
    EXPECT_NE(DisplayProblem(m_env).find("XDG_RUNTIME_DIR is not set"), std::string::npos);
    m_env.m_bWaylandSocket = true;
    EXPECT_EQ(DisplayProblem(m_env), "");
}

TEST(CommandLineTest, QtsPlatformAndDisplayOptionsWinOverTheEnvironment)
{
    // What the test binary runs with, put back at the end.
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return std::pair<bool, std::string>(value != nullptr, value ? value : "");
    };
    const auto restore = [](const char* name, const std::pair<bool, std::string>& value) {
        if (value.first) ::setenv(name, value.second.c_str(), 1);
        else ::unsetenv(name);
    };
    const auto platform = saved("QT_QPA_PLATFORM");
    const auto display = saved("DISPLAY");
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("DISPLAY", ":5", 1);
    const CDisplayEnvironment plain = CDisplayEnvironment::FromProcess({"--no-history"});
    EXPECT_EQ(plain.m_strPlatform, "xcb");
    EXPECT_EQ(plain.m_strDisplay, ":5");
    const CDisplayEnvironment given =
        CDisplayEnvironment::FromProcess({"-platform", "offscreen", "--display", ":6", "-display"});
    EXPECT_EQ(given.m_strPlatform, "offscreen");
    EXPECT_EQ(given.m_strDisplay, ":6");
    restore("QT_QPA_PLATFORM", platform);
    restore("DISPLAY", display);
}

}  // namespace
}  // namespace velmor::test
