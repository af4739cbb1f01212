#pragma once
// velmor-monitor's options: from the command line and from a KEY=VALUE file
// (the systemd instance's /etc/velmor/monitor/NAME.conf) with the same keys.

#include <string>
#include <vector>

#include "CounterMonitor.h"
#include "alarms/AlarmSettings.h"

namespace velmor {

// Loopback and outside the 9100-9999 range the Prometheus exporters have
// filled, and away from the ports terminal servers and ser2net use.
inline constexpr const char* kDefaultListen = "127.0.0.1:19841";
inline constexpr const char* kDefaultShareAddress = "127.0.0.1:19842";

// One watched device: --device DEVICE[,baud=RATE][,share=ADDR:PORT].
struct CMonitorDevice {
    std::string m_strDevice;      // a device path, tcp://HOST:PORT or rfc2217://HOST:PORT
    CAlarmSettings m_alarms;      // the alarm limits (the options', the same for every device)
    int m_nBaud = 0;              // 0: 19200 and the session may switch rate by itself
    std::string m_strShare;       // empty: the line is not shared
    std::vector<CMonitorCounter> m_counters;  // --counter after this --device
};

struct CMonitorOptions {
    // Every device, in the order given. After parsing there is at least one;
    // the plain --baud and --share have been applied to the only one.
    std::vector<CMonitorDevice> m_devices;
    // The first device's text, rate and share (the one-device case).
    std::string m_strDevice;
    int m_nBaud = 0;
    std::string m_strListen = kDefaultListen;  // empty: no metrics endpoint
    std::string m_strDb;          // empty: no history
    std::string m_strShare;       // empty: the line is not shared
    std::string m_strConfig;
    std::string m_strLogLevel = "info";
    double m_dDacGain = 0.0;      // fractional frequency per DAC step; 0: unknown
    bool m_bHelp = false;
    // The alarms' limits (alarm-pps-limit-ns=, alarm-tfom-limit=,
    // alarm-temperature-min=, alarm-temperature-max=); the desktop's defaults.
    CAlarmSettings m_alarms;
};

struct CHostPort {
    std::string m_strHost;
    int m_nPort = 0;
};

// Reads ADDRESS:PORT ("127.0.0.1:19841", "[::1]:19841", ":19841" for every
// address, "localhost:1"). False for a missing or out-of-range port.
bool ParseHostPort(const std::string& text, CHostPort& out);

// Applies one option by its key (the long option without dashes, any case).
bool ApplyMonitorOption(const std::string& key, const std::string& value, CMonitorOptions& options,
                        std::string& error);
// Reads DEVICE[,baud=RATE][,share=ADDR:PORT].
bool ParseMonitorDevice(const std::string& text, CMonitorDevice& device, std::string& error);

// Reads KEY=VALUE lines; blank lines and lines starting with '#' are
// skipped, values may be quoted. |origin| names the file in errors.
bool ReadMonitorConfig(const std::string& text, const std::string& origin, CMonitorOptions& options,
                       std::string& error);

// The command line after the program name. A --config file is read first
// wherever it stands, so the command line overrides it. |readFile| returns
// false when the file cannot be read.
bool ParseMonitorArgs(const std::vector<std::string>& args, CMonitorOptions& options, std::string& error);

// Fills defaults that depend on the environment: with $STATE_DIRECTORY set
// (systemd's StateDirectory=) and no --db, the history goes there.
void ApplyEnvironmentDefaults(CMonitorOptions& options, const char* stateDirectory);

const char* MonitorUsage();

}  // namespace velmor
