#pragma once
// The desktop program's command line, and the question it asks before Qt
// starts: can a display be opened at all? Qt's platform plug-ins abort the
// process (a core dump) when they cannot reach their display server; asked
// first, the program says why in one line and exits with status 1.

#include <string>
#include <vector>

namespace velmor {

// What --help prints.
extern const char* const kDesktopUsage;

struct CDesktopOptions {
    std::string m_strCapturePath;  // --capture FILE
    std::string m_strHistoryPath;  // --history-db PATH (empty: the default database)
    bool m_bRecordHistory = true;  // --no-history
    std::string m_strCounterDevice;  // --counter DEVICE (empty: as the settings say)
};

enum class DesktopVerdict { Run, Help, Version, Error };

// Reads the program's options from |args| (the arguments after the program
// name). The first --help or --version decides at once. With |onlyOurs|
// false an argument that is none of ours is an error (|error| names it);
// with it true it is passed over, as before Qt has taken out its own options
// (-platform, -style, ...).
DesktopVerdict ParseDesktopOptions(const std::vector<std::string>& args, bool onlyOurs, CDesktopOptions& options,
                                   std::string& error);

// Where a display would come from. FromProcess fills it from the
// environment and from Qt's -platform and -display options in |args|.
struct CDisplayEnvironment {
    std::string m_strPlatform;        // QT_QPA_PLATFORM or -platform: "xcb", "wayland;xcb", "offscreen", ...
    std::string m_strDisplay;         // DISPLAY or -display
    std::string m_strWaylandDisplay;  // WAYLAND_DISPLAY
    bool m_bWaylandSocket = false;    // WAYLAND_SOCKET: a connection handed down, taken as it is
    std::string m_strRuntimeDir;      // XDG_RUNTIME_DIR, where Wayland sockets live
    std::string m_strX11SocketDir = "/tmp/.X11-unix";
    int m_nX11TcpBase = 6000;         // display N listens on port base + N
    int m_nConnectTimeoutMs = 3000;   // a remote X server that does not answer

    static CDisplayEnvironment FromProcess(const std::vector<std::string>& args);
};

// Empty when the platform needs no display server (offscreen, minimal,
// eglfs, ...) or one of the servers it would use accepts a connection;
// otherwise one line that says which display could not be opened and why.
// Only a connection is tried, no X or Wayland handshake: an X server that
// resets when its last client leaves is not disturbed.
std::string DisplayProblem(const CDisplayEnvironment& env);

}  // namespace velmor
