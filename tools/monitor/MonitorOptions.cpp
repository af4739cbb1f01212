#include "MonitorOptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

#include "link/SerialSettings.h"
#include "text/Numbers.h"

namespace velmor {

namespace {

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

bool ParseInt(const std::string& text, long low, long high, int& out)
{
    if (text.empty() || text.size() > 9) return false;
    long value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        value = value * 10 + (ch - '0');
    }
    if (value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

// An optional minus sign, then ParseInt's digits.
bool ParseSignedInt(const std::string& text, long low, long high, int& out)
{
    const bool negative = !text.empty() && text.front() == '-';
    int magnitude = 0;
    if (!ParseInt(negative ? text.substr(1) : text, 0, negative ? -low : high, magnitude)) return false;
    out = negative ? -magnitude : magnitude;
    return out >= low && out <= high;
}

// "none" and "off" switch an address option off.
bool IsOff(const std::string& value)
{
    const std::string v = Lower(value);
    return v.empty() || v == "none" || v == "off";
}

}  // namespace

bool ParseHostPort(const std::string& text, CHostPort& out)
{
    std::string host;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos) return false;
        host = text.substr(0, colon);
        if (host.find(':') != std::string::npos) return false;  // a bare IPv6 address needs brackets
        port = text.substr(colon + 1);
    }
    int value = 0;
    // Port 0 asks the system for a free port; the log names the one it gave.
    if (!ParseInt(port, 0, 65535, value)) return false;
    out.m_strHost = host;
    out.m_nPort = value;
    return true;
}

bool ParseMonitorDevice(const std::string& text, CMonitorDevice& device, std::string& error)
{
    // The device text itself may hold no comma; what follows the first one
    // is KEY=VALUE pairs.
    const auto comma = text.find(',');
    device = CMonitorDevice{};
    device.m_strDevice = Trim(text.substr(0, comma));
    if (device.m_strDevice.empty()) {
        error = "device: empty";
        return false;
    }
    std::size_t at = comma;
    while (at != std::string::npos) {
        const auto next = text.find(',', at + 1);
        const std::string item = Trim(text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
        at = next;
        const auto equals = item.find('=');
        const std::string key = Lower(Trim(item.substr(0, equals)));
        const std::string value = equals == std::string::npos ? std::string() : Trim(item.substr(equals + 1));
        CMonitorOptions one;
        if (equals == std::string::npos || (key != "baud" && key != "share")) {
            error = "device " + device.m_strDevice + ": expected baud=RATE or share=ADDR:PORT, got '" + item + "'";
            return false;
        }
        if (!ApplyMonitorOption(key, value, one, error)) {
            error = "device " + device.m_strDevice + ": " + error;
            return false;
        }
        if (key == "baud") device.m_nBaud = one.m_nBaud;
        else device.m_strShare = one.m_strShare;
    }
    return true;
}

bool ApplyMonitorOption(const std::string& rawKey, const std::string& value, CMonitorOptions& options,
                        std::string& error)
{
    std::string key = Lower(rawKey);
    std::replace(key.begin(), key.end(), '_', '-');
    CHostPort address;
    if (key == "device") {
        CMonitorDevice device;
        if (!ParseMonitorDevice(value, device, error)) return false;
        options.m_devices.push_back(device);
    } else if (key == "counter") {
        CMonitorCounter counter;
        if (options.m_devices.empty()) {
            error = "counter: belongs to a --device given before it";
            return false;
        }
        if (!ParseMonitorCounter(value, counter, error)) return false;
        options.m_devices.back().m_counters.push_back(counter);
    } else if (key == "baud") {
        int baud = 0;
        if (!ParseInt(value, 1, 4000000, baud) || !IsStandardBaudRate(baud)) {
            error = "baud: not a rate the serial driver offers: '" + value + "'";
            return false;
        }
        options.m_nBaud = baud;
    } else if (key == "listen" || key == "share") {
        std::string& target = key == "listen" ? options.m_strListen : options.m_strShare;
        if (IsOff(value)) {
            target.clear();
        } else if (ParseHostPort(value, address)) {
            target = value;
        } else {
            error = key + ": expected ADDRESS:PORT, got '" + value + "'";
            return false;
        }
    } else if (key == "db") {
        options.m_strDb = value;
    } else if (key == "dac-gain") {
        const std::optional<double> gain = ParseStrictDouble(value);
        if (!gain || !std::isfinite(*gain) || std::fabs(*gain) > 1e-6) {
            error = "dac-gain: expected the fractional frequency per DAC step (e.g. 2e-12), got '" + value + "'";
            return false;
        }
        options.m_dDacGain = *gain;
    } else if (key == "log-level") {
        const std::string level = Lower(value);
        if (level != "error" && level != "warning" && level != "notice" && level != "info" && level != "debug") {
            error = "log-level: one of error, warning, notice, info, debug";
            return false;
        }
        options.m_strLogLevel = level;
    } else if (key == "alarm-pps-limit-ns") {
        if (!ParseInt(value, 0, 999999999, options.m_alarms.m_nPpsLimitNs)) {
            error = "alarm-pps-limit-ns: nanoseconds from 0 (not watched) to 999999999, not '" + value + "'";
            return false;
        }
    } else if (key == "alarm-tfom-limit") {
        if (!ParseInt(value, 0, 9, options.m_alarms.m_nTfomLimit)) {
            error = "alarm-tfom-limit: a digit from 0 to 9, not '" + value + "'";
            return false;
        }
    } else if (key == "alarm-temperature-min" || key == "alarm-temperature-max") {
        int& target = key == "alarm-temperature-min" ? options.m_alarms.m_nTemperatureLow
                                                     : options.m_alarms.m_nTemperatureHigh;
        if (!ParseSignedInt(value, -100, 200, target)) {
            error = key + ": whole degrees Celsius from -100 to 200, not '" + value + "'";
            return false;
        }
    } else {
        error = "unknown option '" + rawKey + "'";
        return false;
    }
    return true;
}

bool ReadMonitorConfig(const std::string& text, const std::string& origin, CMonitorOptions& options,
                       std::string& error)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        const auto equals = line.find('=');
        std::string failure;
        if (equals == std::string::npos) {
            failure = "expected KEY=VALUE";
        } else {
            std::string key = Trim(line.substr(0, equals));
            std::string value = Trim(line.substr(equals + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            if (key == "config" || key == "CONFIG") failure = "a configuration file cannot name another";
            else ApplyMonitorOption(key, value, options, failure);
        }
        if (!failure.empty()) {
            error = origin + ":" + std::to_string(number) + ": " + failure;
            return false;
        }
    }
    return true;
}

bool ParseMonitorArgs(const std::vector<std::string>& args, CMonitorOptions& options, std::string& error)
{
    // Split "--key=value" and "--key value" into pairs first.
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.m_bHelp = true;
            return true;
        }
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
        const auto equals = arg.find('=');
        if (equals != std::string::npos) {
            pairs.emplace_back(arg.substr(2, equals - 2), arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            pairs.emplace_back(arg.substr(2), args[++i]);
        } else {
            error = "option " + arg + " needs a value";
            return false;
        }
    }
    for (const auto& [key, value] : pairs) {
        if (key != "config") continue;
        std::ifstream file(value, std::ios::binary);
        std::ostringstream text;
        if (!file || !(text << file.rdbuf())) {
            error = "cannot read " + value;
            return false;
        }
        options.m_strConfig = value;
        if (!ReadMonitorConfig(text.str(), value, options, error)) return false;
    }
    // Devices on the command line replace the configuration file's.
    const std::vector<CMonitorDevice> fromFile = std::move(options.m_devices);
    options.m_devices.clear();
    const int fileBaud = options.m_nBaud;
    const std::string fileShare = options.m_strShare;
    options.m_nBaud = 0;
    options.m_strShare.clear();
    for (const auto& [key, value] : pairs) {
        if (key == "config") continue;
        if (!ApplyMonitorOption(key, value, options, error)) return false;
    }
    if (options.m_devices.empty()) options.m_devices = fromFile;
    if (options.m_nBaud == 0) options.m_nBaud = fileBaud;
    if (options.m_strShare.empty()) options.m_strShare = fileShare;
    if (options.m_devices.empty()) {
        error = "no --device given";
        return false;
    }
    if (options.m_devices.size() > 1 && (options.m_nBaud != 0 || !options.m_strShare.empty())) {
        error = "--baud and --share name one device's rate and share; with several devices give them with each: "
                "--device DEVICE,baud=RATE,share=ADDR:PORT";
        return false;
    }
    if (options.m_devices.size() == 1) {
        CMonitorDevice& only = options.m_devices.front();
        if (only.m_nBaud == 0) only.m_nBaud = options.m_nBaud;
        if (only.m_strShare.empty()) only.m_strShare = options.m_strShare;
    }
    if (options.m_alarms.m_nTemperatureLow > options.m_alarms.m_nTemperatureHigh) {
        error = "alarm-temperature-min is above alarm-temperature-max";
        return false;
    }
    for (CMonitorDevice& device : options.m_devices) device.m_alarms = options.m_alarms;
    const CMonitorDevice& first = options.m_devices.front();
    options.m_strDevice = first.m_strDevice;
    options.m_nBaud = first.m_nBaud;
    options.m_strShare = first.m_strShare;
    return true;
}

void ApplyEnvironmentDefaults(CMonitorOptions& options, const char* stateDirectory)
{
    if (!options.m_strDb.empty() || stateDirectory == nullptr || *stateDirectory == '\0') return;
    // systemd may list several directories separated by colons; the first is ours.
    std::string directory(stateDirectory);
    directory = directory.substr(0, directory.find(':'));
    options.m_strDb = directory + "/history.db";
}

const char* MonitorUsage()
{
    return "Usage: velmor-monitor --device DEVICE[,baud=RATE][,share=ADDR:PORT] ... [options]\n"
           "Watches time reference units without a display: identifies each, keeps its\n"
           "reports coming, serves Prometheus metrics, records history and can share a\n"
           "unit's line with desktop programs.\n"
           "\n"
           "  --device DEVICE     serial device path, tcp://HOST:PORT or rfc2217://HOST:PORT;\n"
           "                      repeat it to watch several units in one process, each\n"
           "                      with its own ,baud=RATE and ,share=ADDR:PORT\n"
           "  --counter DEVICE[,format=timestamp|reading|auto][,baud=RATE]\n"
           "                      a time-interval counter (a TICC) beside the --device\n"
           "                      before it: its phase against the reference as metrics\n"
           "                      and history (default 115200 bit/s, format detected)\n"
           "  --baud RATE         line rate (one device only); given, the monitor never\n"
           "                      switches rate itself (default 19200, switching after silence)\n"
           "  --listen ADDR:PORT  metrics endpoint /metrics (default 127.0.0.1:19841;\n"
           "                      \"none\" switches it off; port 0: a free port,\n"
           "                      named in the log)\n"
           "  --db PATH           history database (default $STATE_DIRECTORY/history.db\n"
           "                      under systemd, else none)\n"
           "  --share ADDR:PORT   re-serve the unit's line as a raw TCP stream (one device\n"
           "                      only; off by default; 127.0.0.1:19842 is the suggested\n"
           "                      address).\n"
           "                      Anyone who can connect can reconfigure the unit.\n"
           "  --config FILE       KEY=VALUE file with the same keys (device= repeats, baud=,\n"
           "                      ...); the command line overrides it\n"
           "  --alarm-pps-limit-ns NS     1PPS offset alarm beyond NS nanoseconds\n"
           "                      (default 100; 0: not watched)\n"
           "  --alarm-tfom-limit DIGIT    TFOM alarm above DIGIT (default 5)\n"
           "  --alarm-temperature-min C   oscillator temperature alarm outside\n"
           "  --alarm-temperature-max C   MIN..MAX whole degrees (default 0..70)\n"
           "                      Alarm events go to the journal, the history's events\n"
           "                      table and velmor_events_total.\n"
           "  --log-level LEVEL   error, warning, notice, info (default) or debug\n"
           "  --dac-gain X        fractional frequency per DAC step; with it the holdover\n"
           "                      prediction learns the aging from the DAC's trend in lock\n"
           "                      (default: from the unit's frequency estimate alone)\n"
           "  --help              this text\n";
}

}  // namespace velmor
