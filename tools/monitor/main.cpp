// velmor-monitor: the program's core against one unit, without a display.
// A poll() loop with the core's 200 ms tick; Prometheus metrics on --listen,
// the unit's line shared on --share, history in --db.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <prometheus/exposer.h>
#include <prometheus/registry.h>

#include "LineShare.h"
#include "MetricsObserver.h"
#include "MonitorHost.h"
#include "MonitorLog.h"
#include "MonitorOptions.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "platform/DeviceByPath.h"
#include "settings/Profile.h"
#include "session/Session.h"
#include "settings/SerialProfile.h"

namespace velmor {
namespace {

int g_anSignalPipe[2] = {-1, -1};
volatile sig_atomic_t g_nStopSignal = 0;

void OnStopSignal(int signal)
{
    g_nStopSignal = signal;
    const char byte = 1;
    const ssize_t written = ::write(g_anSignalPipe[1], &byte, 1);
    (void)written;
}

bool InstallSignals()
{
    if (::pipe2(g_anSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &action, nullptr);
    return true;
}

LogLevel LevelByName(const std::string& name)
{
    if (name == "error") return LogLevel::Error;
    if (name == "warning") return LogLevel::Warning;
    if (name == "notice") return LogLevel::Notice;
    if (name == "debug") return LogLevel::Debug;
    return LogLevel::Info;
}

// What the journal should hear about the line and the unit.
class CLogObserver : public IUnitObserver {
public:
    void OnObservation(const CObservation& o) override
    {
        switch (o.m_event) {
        case LinkEvent::PortOpened: Log(LogLevel::Info, "port opened"); break;
        case LinkEvent::PortClosed: Log(LogLevel::Info, "port closed"); break;
        case LinkEvent::DataStale: Log(LogLevel::Warning, "no time report from the unit; data stale"); break;
        case LinkEvent::DataResumed: Log(LogLevel::Notice, "time reports resumed"); break;
        case LinkEvent::AutoRecovery: Log(LogLevel::Notice, "polling restarted after silence"); break;
        case LinkEvent::PortLost: Log(LogLevel::Warning, "the device went away; reconnecting"); break;
        case LinkEvent::PortRestored: Log(LogLevel::Notice, "the device is back"); break;
        case LinkEvent::UnitReidentified: Log(LogLevel::Notice, "the unit identified itself again"); break;
        case LinkEvent::UnitRestarted: Log(LogLevel::Warning, "the unit restarted during the silence"); break;
        case LinkEvent::SentenceHandled:
            if (o.Has(Reported::Identification) && o.m_state.m_bIdentified) {
                const std::string identity = "unit identified: product type " + std::to_string(o.m_state.m_nProductType) +
                                             ", part number " + o.m_state.m_strPartNumber;
                if (identity != m_strIdentity) Log(LogLevel::Notice, identity);
                m_strIdentity = identity;
            }
            break;
        default: break;
        }
    }

private:
    std::string m_strIdentity;
};

std::string ExposerAddress(const CHostPort& address)
{
    if (address.m_strHost.empty()) return std::to_string(address.m_nPort);
    if (address.m_strHost.find(':') != std::string::npos)
        return "[" + address.m_strHost + "]:" + std::to_string(address.m_nPort);
    return address.m_strHost + ":" + std::to_string(address.m_nPort);
}

int Run(const CMonitorOptions& options)
{
    if (!InstallSignals()) {
        Log(LogLevel::Error, std::string("cannot set up signal handling: ") + std::strerror(errno));
        return 1;
    }

    // The settings live in memory only: the desktop program's file is never
    // read or written. Port 1 is the device the options name.
    const int baud = options.m_nBaud > 0 ? options.m_nBaud : 19200;
    CProfile profile = CProfile::InMemory("[" + std::string(kSerialSection) + "]\nPort=1\nBaud=" +
                                          std::to_string(baud) + "\n[" + kPortDevicesSection + "]\n1=" +
                                          options.m_strDevice + "\n");
    CMonitorHost host;
    // A terminal path, tcp:// or rfc2217://: the device picks itself by the text.
    CDeviceByPath device;
    CSession session(host, device, profile);
    session.SetAutoBaudSwitch(options.m_nBaud == 0);
    // Where the desktop would ask its user, the session retries by itself.
    CSessionRecovery recovery;
    recovery.m_bReopenFailedOpen = true;
    recovery.m_bReidentifyAtFixedRate = true;
    session.SetRecovery(recovery);
    // There is nobody to read the "Wait..." notice; the log says it once.
    CLogObserver logObserver;
    session.AddObserver(logObserver);

    auto registry = std::make_shared<prometheus::Registry>();
    CMetricsObserver metrics(*registry, options.m_strDevice);
    session.AddObserver(metrics);
    std::unique_ptr<prometheus::Exposer> exposer;
    if (!options.m_strListen.empty()) {
        CHostPort address;
        ParseHostPort(options.m_strListen, address);
        try {
            exposer = std::make_unique<prometheus::Exposer>(ExposerAddress(address), 2);
            exposer->RegisterCollectable(registry);
        } catch (const std::exception& failure) {
            Log(LogLevel::Error, "cannot serve metrics on " + options.m_strListen + ": " + failure.what());
            return 1;
        }
        CHostPort bound = address;
        const std::vector<int> ports = exposer->GetListeningPorts();
        if (!ports.empty()) bound.m_nPort = ports.front();
        Log(LogLevel::Info, "metrics on http://" + ExposerAddress(bound) + "/metrics");
    }

    CLineShare share([&session](std::string_view framed) { return session.WriteFramed(framed); });
    if (!options.m_strShare.empty()) {
        CHostPort address;
        ParseHostPort(options.m_strShare, address);
        std::string error;
        if (!share.Listen(address.m_strHost, address.m_nPort, error)) {
            Log(LogLevel::Error, "cannot share the line: " + error);
            return 1;
        }
        session.AddObserver(share);
        CHostPort bound = address;
        bound.m_nPort = share.BoundPort();
        Log(LogLevel::Info, "sharing the unit's line on " + ExposerAddress(bound));
    }

    // History: the recorder only queues; the store's own thread writes.
    std::unique_ptr<CHistoryStore> store;
    std::unique_ptr<CHistoryRecorder> recorder;
    if (!options.m_strDb.empty()) {
        CHistoryOptions historyOptions;
        historyOptions.m_strPath = options.m_strDb;
        store = std::make_unique<CHistoryStore>(historyOptions);
        recorder = std::make_unique<CHistoryRecorder>(*store, options.m_strDevice);
        session.AddObserver(*recorder);
        Log(LogLevel::Info, "recording history in " + options.m_strDb);
    }

    Log(LogLevel::Notice, "watching " + options.m_strDevice + " at " + std::to_string(baud) + " bit/s" +
                              (session.AutoBaudSwitch() ? " (may switch rate)" : ""));
    session.LoadSettings();
    if (!session.Open()) {
        host.MessageBox(Owner::MainWindow, session.OpenFailureText(), "Init. Failed", Icon::Error, Buttons::Ok);
        session.Close();
    }

    std::uint64_t nextTick = host.TickCount();
    std::vector<pollfd> fds;
    while (g_nStopSignal == 0) {
        const std::uint64_t now = host.TickCount();
        if (now >= nextTick) {
            nextTick = now + static_cast<std::uint64_t>(host.m_nPollPeriodMs);
            session.Tick();
            host.CheckNoticeTimer();
            if (host.m_bRefreshWanted) {
                // The moments the desktop draws its page: the commands that
                // go with a drawing, without a page.
                host.m_bRefreshWanted = false;
                session.OnPageRefresh();
            }
            metrics.OnTick(host.TickCount(), session.Readings());
            if (recorder) {
                recorder->OnTick(host.TickCount());
                std::string notice;
                if (store->TakeStatusNotice(notice) && !notice.empty()) Log(LogLevel::Warning, "history: " + notice);
            }
        }

        fds.clear();
        fds.push_back({g_anSignalPipe[0], POLLIN, 0});
        share.AddPollFds(fds);
        const std::uint64_t after = host.TickCount();
        const int timeout = nextTick > after ? static_cast<int>(nextTick - after) : 0;
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            Log(LogLevel::Error, std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (ready > 0) share.OnPoll(fds, 1);
    }

    Log(LogLevel::Notice, g_nStopSignal != 0 ? "stopping on signal " + std::to_string(g_nStopSignal) : "stopping");
    // The unit stops its reports, as it does when the desktop program closes.
    session.SayFarewell();
    session.RemoveObserver(share);
    if (recorder) {
        session.RemoveObserver(*recorder);
        if (!store->Flush(5000)) Log(LogLevel::Warning, "history: not everything could be written before exit");
        store->Close();
    }
    return 0;
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv)
{
    using namespace velmor;
    std::vector<std::string> args(argv + 1, argv + argc);
    CMonitorOptions options;
    std::string error;
    if (!ParseMonitorArgs(args, options, error)) {
        std::fprintf(stderr, "velmor-monitor: %s\n%s", error.c_str(), MonitorUsage());
        return 2;
    }
    if (options.m_bHelp) {
        std::fputs(MonitorUsage(), stdout);
        return 0;
    }
    ApplyEnvironmentDefaults(options, std::getenv("STATE_DIRECTORY"));
    SetLogThreshold(LevelByName(options.m_strLogLevel));
    return Run(options);
}
