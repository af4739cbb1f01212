#include "display/StatusPage.h"

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "protocol/Subscriptions.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {


constexpr const char* kEol = "\r\n";

// Drawn in a fixed-pitch font, the degree sign takes one column.
constexpr const char* kDegreeSign = "\xC2\xB0";

std::string Blanks(std::size_t count) { return std::string(count, ' '); }

// Text right-aligned in at least `width` columns; longer text is kept whole.
std::string PadLeft(const std::string& text, std::size_t width, char fill = ' ')
{
    return text.size() >= width ? text : std::string(width - text.size(), fill) + text;
}

// Text left-aligned in at least `width` columns; longer text is kept whole.
std::string PadRight(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}


// ---------------------------------------------------------------- product groups


// Averaging duration in seconds; none when the type shows no countdown in
// this position mode.
std::optional<long long> AveragingDuration(const CUnitState& state)
{
    const int type = state.m_nProductType;
    // The legacy unit calls position averaging "survey".
    const char averaging = SpeaksLegacyDialect(type) ? 'S' : 'P';
    if (state.m_chPositionMode != averaging) return std::nullopt;
    switch (ProductTypeInfo(type).m_eCountdown) {
    case AveragingCountdown::SixHours:
        return 21600;
    case AveragingCountdown::ByAveragingHours:
        return static_cast<long long>(state.m_nAveragingHours) * 3600;
    case AveragingCountdown::None:
        break;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- text tables

const char* TimeLabel(char mode)
{
    switch (mode) {
    case '1': case 'G': return "GPS Time:      ";
    case '2': case 'U': return "UTC Time:      ";
    case '3': case 'u': return "LUTC Time:     ";
    case '4': case 'g': return "LGPS Time:     ";
    case '5': return "MANUAL         ";
    default: return "Unknown??:     ";
    }
}

const char* PositionModeText(char mode)
{
    switch (mode) {
    case 'D': return "Mode:      Dynamic           ";
    case 'K': return "Mode:      Known             ";
    case 'P': case 'S': return "Mode:      Position Averaging";
    default: return "Mode:      Unknown??         ";
    }
}

// An unknown state character is shown as itself.
std::string DisciplineText(char state)
{
    switch (state) {
    case '0': return "Warm Up    ";
    case '1': return "Time Locked";
    case '2': return "Coasting   ";
    case '3': return "Recovering ";
    case '4': return "Manual     ";
    case '5': return "Learning   ";
    default: return std::string(1, state);
    }
}

const char* HemisphereText(char hemisphere)
{
    switch (hemisphere) {
    case 'N': return "N ";
    case 'S': return "S ";
    case 'E': return "E ";
    case 'W': return "W ";
    default: return "U?";
    }
}

const char* MonthName(int month)
{
    static const char* const kMonths[13] = {
        "     ", "Jan. ", "Feb. ", "Mar. ", "Apr. ", "May  ", "June ",
        "July ", "Aug. ", "Sept.", "Oct. ", "Nov. ", "Dec. ",
    };
    // The record never holds another month; anything else reads as "no month".
    return month >= 0 && month <= 12 ? kMonths[month] : kMonths[0];
}

// ---------------------------------------------------------------- upper section

std::string DateText(const CUnitState& state)
{
    return MonthName(state.m_nMonth) + Format("%02d, %4d", state.m_nDay, state.m_nYear);
}

std::string DateLine(const CUnitState& state)
{
    const std::string date = DateText(state);
    if (const std::optional<long long> duration = AveragingDuration(state)) {
        if (state.m_nModelVariant == 2)
            return Blanks(15) + date + Blanks(17) + "Continuous" + Blanks(12);
        if (state.m_nAveragingCount <= *duration) {
            const long long remaining = *duration - state.m_nAveragingCount;
            return Blanks(15) + date + Blanks(17) + "Complete in: " +
                   Format("%02lld:%02lld:%02lld", remaining / 3600, remaining % 3600 / 60,
                          remaining % 60) +
                   Blanks(1);
        }
    }
    return Blanks(16) + date + Blanks(40);
}

std::string CoordinateText(char hemisphere, int packed, const std::string& minutes)
{
    return HemisphereText(hemisphere) + Format("%3d:", packed / 1000000) + minutes + Blanks(9);
}

std::string CoastLine(const CUnitState& state)
{
    const CProductType& type = ProductTypeInfo(state.m_nProductType);
    const std::string maskText =
        type.Has(kMaskAngleLine) ? Format("Mask Angle:%02d", state.m_nMaskAngle) + Blanks(20) : Blanks(33);

    if (state.m_chDisciplineState != '2') {
        if (type.Has(kMaskAngleLine)) return "Coast Duration:Not Applicable     " + maskText;
        return "Coast Duration:Not Applicable" + Blanks(38);
    }
    if (IsModel620003(state))
        return "Coast Duration:" + Format("%14d", state.m_nCoastCount) + Blanks(5) + maskText;
    if (type.Has(kCoastDuration)) {
        const long seconds = state.m_nCoastDuration;
        return "Coast Duration:" +
               Format("%3ldd, %2ldh, %2ldm", seconds / 86400, seconds % 86400 / 3600,
                      seconds % 3600 / 60) +
               Blanks(5) + maskText;
    }
    return "Coast Duration:Not Available      " + maskText;
}

std::string LeapVelocityLine(const CUnitState& state)
{
    const bool model = IsModel620003(state);
    std::string line;
    if (state.m_nProductType == PT_UNIDENTIFIED)
        line = "Leap Second:   Not Available    ";
    else
        line = (model ? "Leap Second: Now:" : "Leap Second:   Now:") + PadRight(state.m_strLeapNow, 2) +
               ", Future:" + PadRight(state.m_strLeapFuture, 2);
    line += Blanks(4);
    if (model)
        line += "Velocity: " + Format("E%5.1f N%5.1f U%5.1f   ", state.m_dVelocityEast,
                                      state.m_dVelocityNorth, state.m_dVelocityUp);
    else
        line += Blanks(31);
    return line;
}

void AppendUpperSection(std::string& page, const CUnitState& state)
{
    auto line = [&page](const std::string& text) { page += text; page += kEol; };

    line("-------  Time/Status  -------     -----------  Position  ----------");

    line(TimeLabel(state.m_chTimeMode) + state.m_strTimeOfDay + Blanks(7) +
         PositionModeText(state.m_chPositionMode) + Blanks(4));

    line(DateLine(state));

    line("Local Offset:  " + PadRight(state.m_strLocalOffsetHours, 2) + " hrs." + Blanks(1) +
         PadLeft(state.m_strLocalOffsetMinutes, 2, '0') + " min." + Blanks(3) + "Latitude:  " +
         CoordinateText(state.m_position.m_chLatHemisphere, state.m_nLatitudePacked,
                        state.m_position.m_strLatMinutes));

    line("TFOM:          " + std::string(1, state.m_chTfom) + Blanks(18) + "Longitude: " +
         CoordinateText(state.m_position.m_chLonHemisphere, state.m_nLongitudePacked,
                        state.m_position.m_strLonMinutes));

    line("Mode:          " + DisciplineText(state.m_chDisciplineState) + Blanks(8) +
         "Height:       " + Format("%8.2f", static_cast<double>(state.m_fHeight)) + " m" + Blanks(9));

    line(CoastLine(state));
    line(LeapVelocityLine(state));
    line("");
}

// ---------------------------------------------------------------- lower section

std::string StrengthText(int strength)
{
    if (strength == 0) return Blanks(8);
    // Values up to 10 are tenths and read as per cent; larger ones are plain.
    if (strength > 10) return Blanks(4) + Format("%d", strength) + Blanks(2);
    return Blanks(4) + Format("%d", strength) + "0%";
}

const char* TrackText(char track, int type)
{
    switch (track) {
    case '0': return "     Searching";
    case '1': return IsSatelliteInUse(track, type) ? "     Using    " : "     Acquiring";
    case '2': return IsSatelliteInUse(track, type) ? "     Using    " : "     UnKnown??";
    default: return "     Unknown??";
    }
}

std::string ChannelText(const CUnitState& state, int row, int channels)
{
    if (row >= channels || row >= 8) return Blanks(24);
    const CSatelliteRow& sat = state.m_aSatellites[row];
    if (sat.m_strPrn == "00") return Blanks(24);
    return Blanks(1) + PadLeft(sat.m_strPrn, 2) + StrengthText(sat.m_nStrength) +
           TrackText(sat.m_chTrackMode, state.m_nProductType);
}

int NewestTimeDiff(const CUnitState& state)
{
    const int count = state.m_nTimeDiffCount;
    return count >= 1 ? state.m_anTimeDiff[(count - 1) % 6] : state.m_anTimeDiff[0];
}

// The right-hand items of the channel rows, one per row.
class CGeneralColumn {
public:
    explicit CGeneralColumn(const CUnitState& state)
        : m_state(state), m_nCycles(AtoI(state.m_strCyclesCompleted))
    {
    }

    std::string Item(int row)
    {
        switch (row) {
        case 0: return PulseOrStdError();
        case 1:
            if (EstimateUnavailable()) return "          Frequency Error Est.:  Not Avail.";
            return "          Frequency Error Est.:  " + PadLeft(m_state.m_strFreqErrorEstimate, 10);
        case 2: return Samples();
        case 3: return Cycles();
        case 4:
            return "          Antenna Delay:          " + Format("%6d", AtoI(m_state.m_strAntennaDelay)) + " ns";
        case 5: return "          DAC Value:                  " + PadRight(m_state.m_strDacValue, 5);
        case 6:
            return "          Temperature:             " + Format("%5.1f", AtoF(m_state.m_strTemperature)) +
                   " " + kDegreeSign + "C";
        case 7:
            if (!IsModel620003(m_state)) return Blanks(43);
            // The self-test digit's bit value 8 flags too little antenna current.
            return "          Antenna " + std::string(((m_state.m_chSelfTestStatus - '0') & 8) != 0
                                                          ? "under current            "
                                                          : " over cuurent            ");
        default: return Blanks(43);
        }
    }

private:
    bool Warming() const { return m_state.m_chDisciplineState == '0'; }
    bool CoastingUncycled() const { return m_state.m_chDisciplineState == '2' && m_nCycles == 0; }
    bool EstimateUnavailable() const
    {
        return Warming() || CoastingUncycled() || HasCapability(m_state.m_nProductType, kNoFrequencyEstimate);
    }

    std::string PulseOrStdError() const
    {
        if (IsModel620003(m_state)) {
            if (m_state.m_szPulseStatus[0] == 'E') return "          1PPS Status:              Enabled";
            if (m_state.m_szPulseStatus[0] == 'D') return "          1PPS Status:             Disabled";
        }
        if (EstimateUnavailable()) return "          Std. Error of Estimate:Not Avail.";
        return "          Std. Error of Estimate:" + PadLeft(m_state.m_strStdErrorEstimate, 10);
    }

    std::string Samples()
    {
        if (Warming() || CoastingUncycled()) return "          Samples in Cycle:      Not Avail.";
        m_bSamplesShown = true;
        m_nSamples = AtoI(m_state.m_strSamplesInCycle);
        return "          Samples in Cycle:          " + Format("%6d", m_nSamples);
    }

    std::string Cycles() const
    {
        const bool noSamples = m_bSamplesShown && m_nSamples == 0;
        if (Warming() || (m_state.m_chDisciplineState == '2' && (m_nCycles == 0 || noSamples)))
            return "          Cycles Completed:      Not Avail.";
        return "          Cycles Completed:          " + Format("%6d", m_nCycles);
    }

    const CUnitState& m_state;
    int m_nCycles;
    bool m_bSamplesShown = false;
    int m_nSamples = 0;
};

const char* TestResult(const std::string& results, std::size_t position, const char* pass, const char* failure)
{
    return position < results.size() && results[position] == '0' ? pass : failure;
}

void AppendLowerSection(std::string& page, const CUnitState& state)
{
    auto line = [&page](const std::string& text) { page += text; page += kEol; };

    line("--------  Satellite  --------     ------------  General  ----------");

    const char discipline = state.m_chDisciplineState;
    const std::string heading = "PRN  Strength  Track Mode" + Blanks(9) + "1PPS Time Diff. to GPS:";
    if (discipline == '2' || discipline == '0')
        line(heading + "Not Avail.");
    else
        line(heading + " " + Format("%6d", NewestTimeDiff(state)) + " ns");

    // The character arithmetic may give anything; rows past the table stay blank.
    const int channels = static_cast<int>(state.m_chGpsChannels) - '0';
    const int rows = channels > 7 ? channels : 7;
    CGeneralColumn general(state);
    for (int row = 0; row < rows; ++row) line(ChannelText(state, row, channels) + general.Item(row));

    if (IsModel620003(state))
        line(Blanks(34) + "1PPS Raw Time Diff.:" + Format("%10ld", TruncToLong(state.m_dRawTimeDiff)) + " ns");

    if (HasCapability(state.m_nProductType, kBuiltInTestSection)) {
        const std::string& bit = state.m_strBuiltInTest;
        auto results = [&](const char* first, const char* second) {
            line(Blanks(15) + first + Blanks(2) + second + Blanks(17));
        };
        line("");
        line("---------------------------  Test Status   ------------------------");
        results(TestResult(bit, 1, "GPS Test  :Ok    ", "GPS Test:Error!  "),
                TestResult(bit, 5, "1 PPS     :Ok   ", "1 PPS:Error!    "));
        results(TestResult(bit, 2, "GPS Comm. :Ok    ", "GPS Comm.:Error! "),
                TestResult(bit, 4, "Frequency :Ok   ", "Frequency:Error!"));
        results(TestResult(bit, 0, "Track Sat.:Ok    ", "Track Sat.:Error!"),
                TestResult(bit, 6, "DAC Limit :Ok   ", "DAC Limit:Error!"));
    }
}

}  // namespace

std::string BuildStatusPage(const CUnitState& state)
{
    std::string page;
    page.reserve(1536);
    AppendUpperSection(page, state);
    AppendLowerSection(page, state);
    page += kEol;
    return page;
}

}  // namespace velmor
