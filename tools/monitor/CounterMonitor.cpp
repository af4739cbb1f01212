#include "CounterMonitor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "MonitorLog.h"
#include "history/HistoryTime.h"
#include "link/SerialSettings.h"

namespace velmor {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

CCounterOptions SessionOptions(const CMonitorCounter& spec)
{
    CCounterOptions options;
    options.m_strDevice = spec.m_strDevice;
    options.m_format = spec.m_format;
    options.m_nBaud = spec.m_nBaud;
    return options;
}

}  // namespace

bool ParseMonitorCounter(const std::string& text, CMonitorCounter& counter, std::string& error)
{
    const auto comma = text.find(',');
    counter = CMonitorCounter{};
    counter.m_strDevice = Trim(text.substr(0, comma));
    if (counter.m_strDevice.empty()) {
        error = "counter: empty";
        return false;
    }
    std::size_t at = comma;
    while (at != std::string::npos) {
        const auto next = text.find(',', at + 1);
        const std::string item = Trim(text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
        at = next;
        const auto equals = item.find('=');
        std::string key = Trim(item.substr(0, equals));
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        const std::string value = equals == std::string::npos ? std::string() : Trim(item.substr(equals + 1));
        const std::string where = "counter " + counter.m_strDevice + ": ";
        if (equals != std::string::npos && key == "format") {
            std::optional<CounterFormat> format = CounterFormatFromText(value);
            if (!format) {
                error = where + "format takes timestamp, reading or auto, not '" + value + "'";
                return false;
            }
            counter.m_format = *format;
        } else if (equals != std::string::npos && key == "baud") {
            int baud = 0;
            bool digits = !value.empty() && value.size() <= 9 &&
                          std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (digits) baud = std::stoi(value);
            if (!digits || !IsStandardBaudRate(baud)) {
                error = where + "baud: not a rate the serial driver offers: '" + value + "'";
                return false;
            }
            counter.m_nBaud = baud;
        } else {
            error = where + "expected format=timestamp|reading|auto or baud=RATE, got '" + item + "'";
            return false;
        }
    }
    return true;
}

CCounterMetrics::CCounterMetrics(prometheus::Registry& registry, const std::string& unitDevice,
                                 const std::string& counterDevice)
    : m_labels{{"device", unitDevice}, {"counter", counterDevice}},
      m_phaseFamily(BuildGauge()
                        .Name("velmor_counter_phase_seconds")
                        .Help("The unit's 1PPS against the reference as the counter measured it (chA - chB)")
                        .Register(registry)),
      m_up(BuildGauge()
               .Name("velmor_counter_up")
               .Help("1 while the counter's device is open and its lines arrive")
               .Register(registry)
               .Add(m_labels)),
      m_samples(BuildCounter()
                    .Name("velmor_counter_samples_total")
                    .Help("Phase samples from the counter")
                    .Register(registry)
                    .Add(m_labels)),
      m_slips(BuildCounter()
                  .Name("velmor_counter_cycle_slips_total")
                  .Help("Phase steps beyond the step limit between consecutive samples")
                  .Register(registry)
                  .Add(m_labels)),
      m_parseErrors(BuildCounter()
                        .Name("velmor_counter_parse_errors_total")
                        .Help("Counter lines that matched no grammar (or were too long)")
                        .Register(registry)
                        .Add(m_labels))
{
}

void CCounterMetrics::OnCounterSample(const CCounterSession& session, const CCounterSample& sample)
{
    if (sample.m_strChannel != session.Tracker().Primary()) return;
    if (!m_pPhase) m_pPhase = &m_phaseFamily.Add(m_labels);
    m_pPhase->Set(sample.PhaseSeconds());
    m_samples.Increment();
    if (sample.m_bSlip) m_slips.Increment();
}

void CCounterMetrics::OnTick(const CCounterSession& session)
{
    m_up.Set(session.IsUp() ? 1 : 0);
    const std::uint64_t errors = session.Parser().ParseErrors();
    if (errors > m_nParseErrorsSeen) m_parseErrors.Increment(static_cast<double>(errors - m_nParseErrorsSeen));
    m_nParseErrorsSeen = errors;
}

CWatchedCounter::CWatchedCounter(const CMonitorCounter& spec, ISessionEvents& clock, prometheus::Registry& registry,
                                 const std::string& unitDevice, CCounterStore* store)
    : m_spec(spec), m_strUnitDevice(unitDevice), m_session(clock, m_device, SessionOptions(spec)),
      m_metrics(registry, unitDevice, spec.m_strDevice), m_stability(registry, unitDevice, spec.m_strDevice)
{
    m_session.AddObserver(m_metrics);
    m_session.AddObserver(m_stability);
    if (store) {
        m_pRecorder = std::make_unique<CCounterRecorder>(*store, unitDevice, spec.m_strDevice);
        m_session.AddObserver(*m_pRecorder);
    }
    Log(LogLevel::Notice, unitDevice + ": reference counter " + spec.m_strDevice + " at " +
                              std::to_string(spec.m_nBaud) + " bit/s, " +
                              (spec.m_format == CounterFormat::Auto
                                   ? std::string("its line format detected from the first lines")
                                   : std::string(CounterFormatText(spec.m_format)) + " lines"));
}

void CWatchedCounter::Tick()
{
    m_session.Tick();
    m_metrics.OnTick(m_session);
    m_stability.OnTick(m_session.Now());
    if (m_pRecorder) m_pRecorder->OnTick(m_session.Now());
    const std::string prefix = m_strUnitDevice + ": counter " + m_spec.m_strDevice + ": ";
    if (m_session.IsOpen() != m_bWasOpen)
        Log(m_session.IsOpen() ? LogLevel::Info : LogLevel::Warning,
            prefix + (m_session.IsOpen() ? "port opened" : "port closed; reopening"));
    m_bWasOpen = m_session.IsOpen();
    if (!m_session.IsOpen() && !m_bOpenFailureLogged && !m_session.LastOpenError().empty()) {
        // Once: the session keeps trying every few seconds.
        m_bOpenFailureLogged = true;
        Log(LogLevel::Warning, prefix + m_session.LastOpenError() + "; retrying");
    }
    if (m_session.IsOpen()) m_bOpenFailureLogged = false;
    // One sample a second is what a counter beside a unit should give.
    const std::optional<double> interval = m_session.Tracker().IntervalSeconds();
    const bool unusual = interval && (*interval < 0.9 || *interval > 1.1);
    if (unusual && !m_bIntervalLogged) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3g", *interval);
        Log(LogLevel::Warning, prefix + "samples every " + text + " s; 1 s expected");
    }
    m_bIntervalLogged = unusual;
    if (m_session.IsUp() != m_bWasUp && (m_bWasUp || m_session.IsUp()))
        Log(m_session.IsUp() ? LogLevel::Notice : LogLevel::Warning,
            prefix + (m_session.IsUp() ? "lines arriving" : "no lines from the counter"));
    m_bWasUp = m_session.IsUp();
}

}  // namespace velmor
