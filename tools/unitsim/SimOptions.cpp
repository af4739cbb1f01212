#include "SimOptions.h"

#include <cerrno>
#include <cstdlib>

namespace velmor {

namespace {

bool ToNumber(const std::string& text, double low, double high, double& value)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !(parsed >= low && parsed <= high)) return false;
    value = parsed;
    return true;
}

bool ToWhole(const std::string& text, long low, long high, long& value)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

}  // namespace

const char* SimUsage()
{
    return "Usage: velmor-unitsim [OPTION]...\n"
           "Plays a GPS-disciplined time reference unit on a pseudo-terminal. The first\n"
           "line on standard output is the device path for the program's port; the unit\n"
           "then runs until SIGINT or SIGTERM. SIGUSR1 toggles a loss of GPS reception.\n"
           "SIGUSR2 switches the unit off and on: it says nothing for 2 of its seconds,\n"
           "forgets its subscriptions (its settings survive), warms up again from the\n"
           "start and answers PRID as before.\n"
           "\n"
           "Unit:\n"
           "  --type N              product type (default 16); 9 speaks the legacy\n"
           "                        two-letter dialect: sentences end in CR alone and\n"
           "                        carry no checksum\n"
           "  --part TEXT           part number (default by type, e.g. 512-6200-04 for\n"
           "                        type 16; 512-6200-03 adds OUTQ, SSTA and TIMR; use\n"
           "                        --type 0 --part OrbalPlusEmu for the emulated model)\n"
           "  --version TEXT        firmware version in the VERS report (default 3.02.01)\n"
           "  --gps-version TEXT    GPS engine version in the VERS report (default 4.11)\n"
           "  --firmware-part TEXT  firmware part number in the VERS report\n"
           "  --state N             discipline state at start, 0..5 (default 0, warm-up):\n"
           "                        1 locked, 2 coasting (GPS lost), 3 recovering,\n"
           "                        4 manual, 5 learning\n"
           "  --position-mode M     D dynamic, K known, P averaging, S legacy averaging\n"
           "                        (default P; averaging ends in K after an hour)\n"
           "  --warmup SECONDS      length of the warm-up (default 20)\n"
           "  --coast-after SECONDS lose GPS this long after start (default never)\n"
           "  --seed N              seed of the random evolution (default 1)\n"
           "  --report-order ORDER  within each second, time-first (the time report\n"
           "                        before the other reports, the default) or\n"
           "                        readings-first (after them)\n"
           "  --tod-rate N          time report every second (1, the default) or every\n"
           "                        even second (2), as TODS sets it\n"
           "\n"
           "Clock model (one step a second): the oscillator's frequency error is a fixed\n"
           "offset, a random walk, and the oven temperature (a daily sinusoid plus a slow\n"
           "random walk) times a coefficient. A proportional-integral loop steers it\n"
           "through the DAC from the 1PPS time difference, which carries the GPS\n"
           "receiver's white phase noise: locked, the phase stays within tens of ns and the\n"
           "Allan deviation falls as 1/tau, then flattens towards the loop time; coasting\n"
           "or manual, the DAC holds and the phase walks off. The frequency estimate and\n"
           "its standard error are the slope of the phase over each 600-second cycle.\n"
           "  --pps-noise NS        rms white phase noise of the 1PPS (default 3)\n"
           "  --freq-walk X         random-walk frequency noise per root second\n"
           "                        (default 5e-13)\n"
           "  --temp-coeff X        frequency change per kelvin (default 1e-11)\n"
           "  --loop-time SECONDS   time constant of the disciplining loop (default 1000)\n"
           "  --aging PER_DAY       the crystal's aging: a linear frequency drift, in\n"
           "                        fractional frequency per day (default 0). Locked,\n"
           "                        the loop follows it through the DAC; coasting, the\n"
           "                        phase runs off as half the aging times t squared\n"
           "\n"
           "Clock:\n"
           "  --speed N             run the unit's clock N times faster than real time\n"
           "                        (default 1; the reports keep to the unit's seconds)\n"
           "\n"
           "Faults:\n"
           "  --bad-checksum PCT    send this share of sentences with wrong checksums\n"
           "                        (not for type 9, whose sentences carry none)\n"
           "  --noise PCT           put random bytes before this share of sentences\n"
           "  --silence-every S     go silent for the last --silence-for seconds of\n"
           "  --silence-for S       every S seconds of the unit's clock\n"
           "  --baud RATE           answer only while the program's side of the terminal\n"
           "                        is set to RATE; at any other rate, commands are not\n"
           "                        understood and replies arrive as garbage bytes\n"
           "\n"
           "Playback:\n"
           "  --play FILE           play a captured session instead of the model: FILE is\n"
           "                        a velmor-replay script whose rx and rxs lines are sent\n"
           "                        as the unit's bytes, paced by its wait lines (divided\n"
           "                        by --speed); its other directives and comments are\n"
           "                        skipped. Playing starts with the first byte the\n"
           "                        program sends; what it sends changes nothing (--log\n"
           "                        records it). At the end the unit falls silent until\n"
           "                        stopped. The unit, clock-model and fault options do\n"
           "                        not apply. A bad FILE stops at once with status 2\n"
           "                        and a message naming the line.\n"
           "\n"
           "Reference counter:\n"
           "  --counter PATH        a time-interval counter on a second new terminal, PATH\n"
           "                        a symbolic link to it (as --link; its device path is\n"
           "                        the second line on standard output). Each of the\n"
           "                        unit's seconds it prints TICC timestamp lines at\n"
           "                        115200 baud, \"SECONDS.FRACTION chA\" and \"... chB\":\n"
           "                        chA the unit's 1PPS as a counter clocked from a\n"
           "                        perfect reference sees it (the model's true phase\n"
           "                        plus white noise), chB the reference's own 1PPS\n"
           "  --counter-noise PS    rms white noise on chA, picoseconds (default 60)\n"
           "  --counter-format F    timestamp (default) or reading (one interval a\n"
           "                        second, \"-1.2e-08 TI(A->B)\")\n"
           "  --counter-drop PCT    drop this share of the counter's lines\n"
           "  --counter-swap PCT    send B before A for this share of seconds\n"
           "  --counter-banner-every S  the counter restarts every S seconds: its boot\n"
           "                        banner, then its seconds begin again\n"
           "  --counter-garbage PCT put a garbage line before this share of lines\n"
           "  --counter-slip-at S   from the unit's second S on, chA is 5 us late (a slip)\n"
           "  --truth FILE          write \"UTC_SECONDS TRUE_PHASE_S\" for each of the\n"
           "                        unit's seconds: the model's true phase, the oracle\n"
           "                        for tests\n"
           "\n"
           "Other:\n"
           "  --link PATH           make PATH a symbolic link to the device (removed at exit)\n"
           "  --log FILE            log every command received and sentence sent\n"
           "  --quiet               no messages on standard error\n"
           "  --help                show this text\n";
}

bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool bHasValue = false;
        const std::size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            bHasValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.m_bHelp = true;
            continue;
        }
        if (name == "--quiet") {
            options.m_bQuiet = true;
            continue;
        }
        if (!bHasValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        double number = 0;
        long whole = 0;
        CSimConfig& unit = options.m_unit;
        if (name == "--type" && ToWhole(value, 0, 99, whole)) unit.m_nType = static_cast<int>(whole);
        else if (name == "--part" && !value.empty() && value.size() < 64) unit.m_strPart = value;
        else if (name == "--version" && !value.empty() && value.size() < 64) unit.m_strVersion = value;
        else if (name == "--gps-version" && !value.empty() && value.size() < 64) unit.m_strGpsVersion = value;
        else if (name == "--firmware-part" && !value.empty() && value.size() < 64) unit.m_strFirmwarePart = value;
        else if (name == "--state" && value.size() == 1 && value[0] >= '0' && value[0] <= '5')
            unit.m_chStartState = value[0];
        else if (name == "--position-mode" && value.size() == 1 && std::string("DKPS").find(value[0]) != std::string::npos)
            unit.m_chPositionMode = value[0];
        else if (name == "--warmup" && ToWhole(value, 0, 86400, whole)) unit.m_nWarmupSeconds = static_cast<int>(whole);
        else if (name == "--coast-after" && ToWhole(value, 0, 10000000, whole))
            unit.m_nCoastAfterSeconds = static_cast<int>(whole);
        else if (name == "--seed" && ToWhole(value, 0, 4294967295L, whole))
            unit.m_nSeed = static_cast<std::uint32_t>(whole);
        else if (name == "--report-order" && (value == "time-first" || value == "readings-first"))
            unit.m_bReadingsFirst = value == "readings-first";
        else if (name == "--tod-rate" && (value == "1" || value == "2")) unit.m_nTodRate = value[0] - '0';
        else if (name == "--pps-noise" && ToNumber(value, 0, 1e6, number)) unit.m_noise.m_dPpsNoiseNs = number;
        else if (name == "--freq-walk" && ToNumber(value, 0, 1e-6, number)) unit.m_noise.m_dFreqWalk = number;
        else if (name == "--temp-coeff" && ToNumber(value, -1e-6, 1e-6, number)) unit.m_noise.m_dTempCoeff = number;
        else if (name == "--loop-time" && ToNumber(value, 10, 1e6, number)) unit.m_noise.m_dLoopSeconds = number;
        else if (name == "--aging" && ToNumber(value, -1e-6, 1e-6, number)) unit.m_noise.m_dAgingPerDay = number;
        else if (name == "--speed" && ToNumber(value, 0.01, 1000, number)) options.m_dSpeed = number;
        else if (name == "--bad-checksum" && ToNumber(value, 0, 100, number)) options.m_dBadChecksumPercent = number;
        else if (name == "--noise" && ToNumber(value, 0, 100, number)) options.m_dNoisePercent = number;
        else if (name == "--silence-every" && ToNumber(value, 0, 1e6, number)) options.m_dSilenceEvery = number;
        else if (name == "--silence-for" && ToNumber(value, 0, 1e6, number)) options.m_dSilenceFor = number;
        else if (name == "--baud" && ToWhole(value, 50, 4000000, whole)) options.m_nBaud = static_cast<int>(whole);
        else if (name == "--link" && !value.empty()) options.m_strLink = value;
        else if (name == "--log" && !value.empty()) options.m_strLog = value;
        else if (name == "--play" && !value.empty()) options.m_strPlay = value;
        else if (name == "--counter" && !value.empty()) options.m_strCounter = value;
        else if (name == "--counter-noise" && ToNumber(value, 0, 1e9, number)) options.m_counter.m_dNoisePs = number;
        else if (name == "--counter-format" && (value == "timestamp" || value == "reading"))
            options.m_counter.m_bReading = value == "reading";
        else if (name == "--counter-drop" && ToNumber(value, 0, 100, number)) options.m_counter.m_dDropPercent = number;
        else if (name == "--counter-swap" && ToNumber(value, 0, 100, number)) options.m_counter.m_dSwapPercent = number;
        else if (name == "--counter-banner-every" && ToNumber(value, 1, 1e7, number))
            options.m_counter.m_dBannerEvery = number;
        else if (name == "--counter-garbage" && ToNumber(value, 0, 100, number))
            options.m_counter.m_dGarbagePercent = number;
        else if (name == "--counter-slip-at" && ToNumber(value, 0, 1e9, number)) options.m_counter.m_dSlipAt = number;
        else if (name == "--truth" && !value.empty()) options.m_strTruth = value;
        else {
            error = "bad option or value: " + args[i] + (bHasValue ? "" : " " + value);
            return false;
        }
    }
    if (!options.m_strPlay.empty() && (!options.m_strCounter.empty() || !options.m_strTruth.empty())) {
        error = "--counter and --truth follow the model, not --play";
        return false;
    }
    if (options.m_dSilenceFor > 0 && options.m_dSilenceEvery <= options.m_dSilenceFor) {
        error = "--silence-every must be longer than --silence-for";
        return false;
    }
    return true;
}

}  // namespace velmor
