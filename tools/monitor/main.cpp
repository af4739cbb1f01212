// velmor-monitor: the program's core against one unit, without a display.
// A poll() loop with the core's 200 ms tick; Prometheus metrics on --listen,
// the unit's line shared on --share, history in --db.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
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

#include "CounterMonitor.h"
#include "LineShare.h"
#include "MetricsObserver.h"
#include "MonitorEvents.h"
#include "MonitorHost.h"
#include "MonitorLog.h"
#include "MonitorOptions.h"
#include "StabilityMetrics.h"
#include "counter/CounterRowTap.h"
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
    explicit CLogObserver(const std::string& device) : m_strPrefix(device + ": ") {}
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
    // Every line names the device: one monitor may watch several.
    void Log(LogLevel level, const std::string& text) { velmor::Log(level, m_strPrefix + text); }

    std::string m_strPrefix;
    std::string m_strIdentity;
};

std::string ExposerAddress(const CHostPort& address)
{
    if (address.m_strHost.empty()) return std::to_string(address.m_nPort);
    if (address.m_strHost.find(':') != std::string::npos)
        return "[" + address.m_strHost + "]:" + std::to_string(address.m_nPort);
    return address.m_strHost + ":" + std::to_string(address.m_nPort);
}

// One watched unit: its session and everything that hangs on it. The
// settings live in memory only (the desktop program's file is never read or
// written); port 1 is the device the options name.
class CWatchedUnit {
public:
    CWatchedUnit(const CMonitorDevice& spec, prometheus::Registry& registry, CHistoryStore* store, double dacGain,
                 CCounterStore* counterStore)
        : m_spec(spec), m_profile(CProfile::InMemory("[" + std::string(kSerialSection) + "]\nPort=1\nBaud=" +
                                                     std::to_string(Baud()) + "\n[" + kPortDevicesSection + "]\n1=" +
                                                     spec.m_strDevice + "\n")),
          m_host(spec.m_strDevice), m_session(m_host, m_device, m_profile), m_metrics(registry, spec.m_strDevice),
          m_stability(registry, spec.m_strDevice, {"unit", dacGain}),
          m_share([this](std::string_view framed) { return m_session.WriteFramed(framed); })
    {
        m_session.SetAutoBaudSwitch(spec.m_nBaud == 0);
        // Where the desktop would ask its user, the session retries by itself.
        CSessionRecovery recovery;
        recovery.m_bReopenFailedOpen = true;
        recovery.m_bReidentifyAtFixedRate = true;
        m_session.SetRecovery(recovery);
        m_session.AddObserver(m_log);
        m_session.AddObserver(m_metrics);
        m_session.AddObserver(m_stability);
        if (store != nullptr) {
            // The recorder only queues; the store's own thread writes.
            // The counters' samples join the rows by the host time the
            // recorder's clock gives each row.
            m_pRecorder = std::make_unique<CHistoryRecorder>(*store, spec.m_strDevice,
                                                             [this] { return m_rowTap.RowClock(); });
            m_session.AddObserver(*m_pRecorder);
            m_session.AddObserver(m_rowTap);
            m_rowTap.SetListener([this](std::uint64_t tick, std::int64_t rowHostMs) {
                for (auto& counter : m_counters) counter->OnUnitRow(tick, rowHostMs);
            });
        }
        // Its counters read the unit's own clock.
        for (const CMonitorCounter& counter : spec.m_counters) {
            m_counters.push_back(
                std::make_unique<CWatchedCounter>(counter, m_host, registry, spec.m_strDevice, counterStore));
            m_session.AddObserver(m_counters.back()->UnitObserver());
        }
        // The alarms (whose events go to the store too) hear each sentence
        // after the recorder has taken its row.
        m_pEvents = std::make_unique<CMonitorEvents>(registry, spec.m_strDevice, m_spec.m_alarms, store);
        m_session.AddObserver(*m_pEvents);
    }
    int Baud() const { return m_spec.m_nBaud > 0 ? m_spec.m_nBaud : 19200; }

    bool ShareLine()
    {
        if (m_spec.m_strShare.empty()) return true;
        CHostPort address;
        ParseHostPort(m_spec.m_strShare, address);
        std::string error;
        if (!m_share.Listen(address.m_strHost, address.m_nPort, error)) {
            Log(LogLevel::Error, m_spec.m_strDevice + ": cannot share the line: " + error);
            return false;
        }
        m_session.AddObserver(m_share);
        CHostPort bound = address;
        bound.m_nPort = m_share.BoundPort();
        Log(LogLevel::Info, m_spec.m_strDevice + ": sharing the unit's line on " + ExposerAddress(bound));
        return true;
    }

    void Start()
    {
        Log(LogLevel::Notice, "watching " + m_spec.m_strDevice + " at " + std::to_string(Baud()) + " bit/s" +
                                  (m_session.AutoBaudSwitch() ? " (may switch rate)" : ""));
        m_session.LoadSettings();
        if (!m_session.Open()) {
            m_host.MessageBox(Owner::MainWindow, m_session.OpenFailureText(), "Init. Failed", Icon::Error,
                              Buttons::Ok);
            m_session.Close();
        }
    }

    void Tick()
    {
        m_session.Tick();
        m_host.CheckNoticeTimer();
        if (m_host.m_bRefreshWanted) {
            // The moments the desktop draws its page: the commands that go
            // with a drawing, without a page.
            m_host.m_bRefreshWanted = false;
            m_session.OnPageRefresh();
        }
        m_pEvents->Tick(m_host.TickCount());
        m_metrics.OnTick(m_host.TickCount(), m_session.Readings(), m_session.IsPortOpen() && !m_session.IsPortLost());
        if (m_pRecorder) m_pRecorder->OnTick(m_host.TickCount());
        for (auto& counter : m_counters) counter->Tick();
    }

    void AddPollFds(std::vector<pollfd>& fds) { m_share.AddPollFds(fds); }
    void OnPoll(std::vector<pollfd>& fds, std::size_t first) { m_share.OnPoll(fds, first); }

    void Stop()
    {
        // The unit stops its reports, as it does when the desktop program closes.
        m_session.SayFarewell();
        m_session.RemoveObserver(*m_pEvents);
        m_session.RemoveObserver(m_share);
        if (m_pRecorder) {
            m_session.RemoveObserver(*m_pRecorder);
            m_pRecorder->Stop();  // the last row, and the clean stop, before the store closes
        }
        for (auto& counter : m_counters) {
            m_session.RemoveObserver(counter->UnitObserver());
            counter->Stop();
        }
    }

private:
    CMonitorDevice m_spec;
    CProfile m_profile;
    CMonitorHost m_host;
    // A terminal path, tcp:// or rfc2217://: the device picks itself by the text.
    CDeviceByPath m_device;
    CSession m_session;
    std::unique_ptr<CMonitorEvents> m_pEvents;
    CLogObserver m_log{m_spec.m_strDevice};
    CMetricsObserver m_metrics;
    CStabilityMetrics m_stability;
    CLineShare m_share;
    CCounterRowTap m_rowTap;
    std::unique_ptr<CHistoryRecorder> m_pRecorder;
    std::vector<std::unique_ptr<CWatchedCounter>> m_counters;
};

int Run(const CMonitorOptions& options)
{
    if (!InstallSignals()) {
        Log(LogLevel::Error, std::string("cannot set up signal handling: ") + std::strerror(errno));
        return 1;
    }

    auto registry = std::make_shared<prometheus::Registry>();
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

    // History: one store (its own writer thread) for every unit's recorder.
    std::unique_ptr<CHistoryStore> store;
    CHistoryOptions historyOptions;
    if (!options.m_strDb.empty()) {
        historyOptions.m_strPath = options.m_strDb;
        store = std::make_unique<CHistoryStore>(historyOptions);
        Log(LogLevel::Info, "recording history in " + options.m_strDb);
    }

    // The counters' samples go to the same file through a writer of their own.
    std::unique_ptr<CCounterStore> counterStore;
    const bool anyCounter = std::any_of(options.m_devices.begin(), options.m_devices.end(),
                                        [](const CMonitorDevice& d) { return !d.m_counters.empty(); });
    // The readings' retention holds for the counter's rows too.
    if (store && anyCounter)
        counterStore = std::make_unique<CCounterStore>(options.m_strDb, historyOptions.m_nRawRetentionDays);

    std::vector<std::unique_ptr<CWatchedUnit>> units;
    for (const CMonitorDevice& spec : options.m_devices) {
        units.push_back(
            std::make_unique<CWatchedUnit>(spec, *registry, store.get(), options.m_dDacGain, counterStore.get()));
        if (!units.back()->ShareLine()) return 1;
    }
    for (auto& unit : units) unit->Start();

    // One poll loop serves every session: each ticks on the 200 ms period;
    // none waits on another (the monitor's boxes answer at once).
    CMonitorHost clock("");
    std::uint64_t nextTick = clock.TickCount();
    std::vector<pollfd> fds;
    std::vector<std::size_t> firsts;
    while (g_nStopSignal == 0) {
        const std::uint64_t now = clock.TickCount();
        if (now >= nextTick) {
            nextTick = now + static_cast<std::uint64_t>(CSession::kPollPeriodMs);
            for (auto& unit : units) unit->Tick();
            std::string notice;
            if (store && store->TakeStatusNotice(notice) && !notice.empty()) Log(LogLevel::Warning, "history: " + notice);
        }

        fds.clear();
        firsts.clear();
        fds.push_back({g_anSignalPipe[0], POLLIN, 0});
        for (auto& unit : units) {
            firsts.push_back(fds.size());
            unit->AddPollFds(fds);
        }
        const std::uint64_t after = clock.TickCount();
        const int timeout = nextTick > after ? static_cast<int>(nextTick - after) : 0;
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            Log(LogLevel::Error, std::string("poll: ") + std::strerror(errno));
            break;
        }
        if (ready > 0)
            for (std::size_t i = 0; i < units.size(); ++i) units[i]->OnPoll(fds, firsts[i]);
    }

    Log(LogLevel::Notice, g_nStopSignal != 0 ? "stopping on signal " + std::to_string(g_nStopSignal) : "stopping");
    for (auto& unit : units) unit->Stop();
    if (store) {
        if (!store->Flush(5000)) Log(LogLevel::Warning, "history: not everything could be written before exit");
        store->Close();
    }
    if (counterStore && !counterStore->Flush(5000))
        Log(LogLevel::Warning, "history: not every counter sample could be written before exit");
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
