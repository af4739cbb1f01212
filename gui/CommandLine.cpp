#include "CommandLine.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace velmor {

const char* const kDesktopUsage =
    "usage: velmor [--capture FILE] [--history-db PATH] [--no-history] [--counter DEVICE]\n"
    "              [Qt options]\n"
    "Watches and configures a GPS-disciplined time and frequency reference unit\n"
    "over one RS-232 line.\n"
    "\n"
    "  --capture FILE      capture the traffic with the unit into FILE from the\n"
    "                      session's first byte (a velmor-replay script)\n"
    "  --history-db PATH   record into, and show the History window from, the\n"
    "                      database at PATH instead of\n"
    "                      $XDG_DATA_HOME/velmor/history.sqlite3\n"
    "  --no-history        record nothing (the History window still shows what\n"
    "                      the database holds)\n"
    "  --counter DEVICE    run the reference counter on DEVICE (a serial path,\n"
    "                      tcp:// or rfc2217://) for this session, with the\n"
    "                      other choices of Com Setup > Reference Counter...;\n"
    "                      the settings file is left as it is\n"
    "  --help              print this help and exit\n"
    "  --version           print the version and exit\n"
    "\n"
    "Qt's own options are accepted too, for example -platform offscreen (run\n"
    "without a display) or -style NAME. The settings file is\n"
    "$XDG_CONFIG_HOME/velmor/Velmor.INI; see velmor(1).\n";

namespace {

constexpr const char* kOffscreenHint = " (QT_QPA_PLATFORM=offscreen runs without one)";

std::string Errno(int error) { return std::strerror(error); }

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Connects to the Unix socket |path| (in the abstract namespace when
// |abstract|); 0 or the errno.
int ConnectUnix(const std::string& path, bool abstract)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Room for the path and its terminating (or, abstract, leading) zero.
    if (path.empty() || path.size() + 1 > sizeof address.sun_path) return ENAMETOOLONG;
    std::size_t length = offsetof(sockaddr_un, sun_path);
    if (abstract) {
        address.sun_path[0] = '\0';
        std::memcpy(address.sun_path + 1, path.data(), path.size());
        length += 1 + path.size();
    } else {
        std::memcpy(address.sun_path, path.data(), path.size());
        length += path.size() + 1;
    }
    // Never blocking: a server whose queue of new connections is full
    // (EAGAIN) is there all the same.
    CFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.Get() < 0) return errno;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), static_cast<socklen_t>(length)) != 0 &&
        errno != EAGAIN && errno != EINPROGRESS)
        return errno;
    return 0;
}

// Connects to |host| port |port| within |timeoutMs|; 0 or the errno
// (ETIMEDOUT, or EHOSTUNREACH when the name does not resolve).
int ConnectTcp(const std::string& host, int port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pList = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &pList) != 0 || !pList)
        return EHOSTUNREACH;
    int result = ECONNREFUSED;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const addrinfo* p = pList; p; p = p->ai_next) {
        CFd fd(::socket(p->ai_family, p->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, p->ai_protocol));
        if (fd.Get() < 0) {
            result = errno;
            continue;
        }
        if (::connect(fd.Get(), p->ai_addr, p->ai_addrlen) == 0) {
            result = 0;
            break;
        }
        if (errno != EINPROGRESS) {
            result = errno;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd waiting{fd.Get(), POLLOUT, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready <= 0) {
            result = ready == 0 ? ETIMEDOUT : errno;
            continue;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        result = error;
        if (error == 0) break;
    }
    ::freeaddrinfo(pList);
    return result;
}

// Why the X display |name| cannot be reached; empty when it can.
std::string XProblem(const CDisplayEnvironment& env, const std::string& name)
{
    const std::string quoted = "cannot open display " + name + ": ";
    std::string rest = name;
    std::string protocol;
    if (const std::size_t slash = rest.find('/'); slash != std::string::npos && slash != 0 &&
                                                 rest.find(':') != std::string::npos && slash < rest.rfind(':')) {
        protocol = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return quoted + "not a display name";
    std::string host = rest.substr(0, colon);
    std::string number = rest.substr(colon + 1);
    if (const std::size_t dot = number.find('.'); dot != std::string::npos) number.resize(dot);
    if (number.empty() || number.size() > 5 || number.find_first_not_of("0123456789") != std::string::npos)
        return quoted + "not a display name";
    const int display = std::atoi(number.c_str());
    if (!host.empty() && host.front() == '/') {
        // A socket path (as some systems hand out).
        const int error = ConnectUnix(host, false);
        return error == 0 ? std::string() : quoted + "no X server at " + host + " (" + Errno(error) + ")";
    }
    const bool local = host.empty() || host == "unix" || protocol == "unix" || protocol == "local";
    if (local) {
        const std::string path = env.m_strX11SocketDir + "/X" + std::to_string(display);
        // Linux X servers listen in the abstract namespace and on the file.
        if (ConnectUnix(path, true) == 0) return {};
        const int error = ConnectUnix(path, false);
        return error == 0 ? std::string() : quoted + "no X server at " + path + " (" + Errno(error) + ")";
    }
    if (display > 65535 - env.m_nX11TcpBase) return quoted + "not a display name";
    const int port = env.m_nX11TcpBase + display;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const int error = ConnectTcp(host, port, env.m_nConnectTimeoutMs);
    return error == 0 ? std::string()
                      : quoted + "no X server at " + host + " port " + std::to_string(port) + " (" + Errno(error) + ")";
}

// Why the Wayland display |name| cannot be reached; empty when it can.
std::string WaylandProblem(const CDisplayEnvironment& env, const std::string& name)
{
    const std::string quoted = "cannot open Wayland display " + name + ": ";
    std::string path = name;
    if (path.front() != '/') {
        if (env.m_strRuntimeDir.empty()) return quoted + "XDG_RUNTIME_DIR is not set";
        path = env.m_strRuntimeDir + "/" + name;
    }
    const int error = ConnectUnix(path, false);
    return error == 0 ? std::string() : quoted + "no compositor at " + path + " (" + Errno(error) + ")";
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

DesktopVerdict ParseDesktopOptions(const std::vector<std::string>& args, bool onlyOurs, CDesktopOptions& options,
                                   std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") return DesktopVerdict::Help;
        if (arg == "--version") return DesktopVerdict::Version;
        if (arg == "--capture" || arg == "--history-db" || arg == "--counter") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = arg + (arg == "--capture" ? " needs a file name" : arg == "--counter" ? " needs a device" : " needs a path");
                return DesktopVerdict::Error;
            }
            (arg == "--capture"      ? options.m_strCapturePath
             : arg == "--counter"    ? options.m_strCounterDevice
                                     : options.m_strHistoryPath) = args[++i];
        } else if (arg == "--no-history") {
            options.m_bRecordHistory = false;
        } else if (!onlyOurs) {
            error = "unknown option " + arg;
            return DesktopVerdict::Error;
        }
    }
    return DesktopVerdict::Run;
}

CDisplayEnvironment CDisplayEnvironment::FromProcess(const std::vector<std::string>& args)
{
    CDisplayEnvironment env;
    env.m_strPlatform = Env("QT_QPA_PLATFORM");
    env.m_strDisplay = Env("DISPLAY");
    env.m_strWaylandDisplay = Env("WAYLAND_DISPLAY");
    env.m_bWaylandSocket = !Env("WAYLAND_SOCKET").empty();
    env.m_strRuntimeDir = Env("XDG_RUNTIME_DIR");
    // Qt's own options win over the environment, with one dash or two.
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        std::string name = args[i];
        if (name.rfind("--", 0) == 0) name.erase(0, 1);
        if (name == "-platform") env.m_strPlatform = args[i + 1];
        else if (name == "-display") env.m_strDisplay = args[i + 1];
        else continue;
        ++i;
    }
    return env;
}

std::string DisplayProblem(const CDisplayEnvironment& env)
{
    // The plug-ins Qt would try, in order ("wayland;xcb"), each perhaps with
    // options after a colon.
    bool tryX = false;
    bool tryWayland = false;
    std::size_t from = 0;
    while (from <= env.m_strPlatform.size()) {
        std::size_t to = env.m_strPlatform.find(';', from);
        if (to == std::string::npos) to = env.m_strPlatform.size();
        std::string name = env.m_strPlatform.substr(from, to - from);
        name = name.substr(0, name.find(':'));
        from = to + 1;
        if (name.empty()) continue;
        if (name == "xcb") tryX = true;
        else if (name.rfind("wayland", 0) == 0) tryWayland = true;
        // offscreen, minimal, eglfs, linuxfb, vnc...: no display server.
        else return {};
    }
    const bool chosen = tryX || tryWayland;
    std::vector<std::string> problems;
    if (tryX || !chosen) {
        if (!env.m_strDisplay.empty()) {
            const std::string problem = XProblem(env, env.m_strDisplay);
            if (problem.empty()) return {};
            problems.push_back(problem);
        } else if (tryX) {
            problems.push_back("no display: DISPLAY is not set");
        }
    }
    if (tryWayland || !chosen) {
        if (env.m_bWaylandSocket) return {};
        // Named as the Wayland library names it when unset; without a
        // platform chosen Qt tries Wayland only where it is named.
        const std::string name =
            !env.m_strWaylandDisplay.empty() ? env.m_strWaylandDisplay : tryWayland ? "wayland-0" : "";
        if (!name.empty()) {
            const std::string problem = WaylandProblem(env, name);
            if (problem.empty()) return {};
            problems.push_back(problem);
        }
    }
    if (problems.empty()) problems.push_back("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    std::string line;
    for (const std::string& problem : problems) line += (line.empty() ? "" : "; ") + problem;
    return line + kOffscreenHint;
}

}  // namespace velmor
