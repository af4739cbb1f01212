#include "display/StatusPage.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "protocol/Subscriptions.h"
#include "text/Text.h"

namespace velmor {
namespace {

class CRecordingSender : public ICommandSender {
public:
    void SendCommand(std::string_view body) override { m_sent.emplace_back(body); }
    std::vector<std::string> m_sent;
};

// A drawing as the paint path does it: the commands that go with it, then
// the page text.
std::string BuildStatusPage(CUnitState& state, ICommandSender& sender)
{
    SendDrawingCommands(state, sender);
    return velmor::BuildStatusPage(state);
}

// Splits a page into its lines; every line must end with CR LF.
std::vector<std::string> Lines(const std::string& page)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < page.size()) {
        const std::size_t end = page.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated last line: " << Escape(page.substr(start));
            break;
        }
        lines.push_back(page.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Columns of a UTF-8 line: continuation bytes take no column of their own.
std::size_t Columns(const std::string& line)
{
    std::size_t n = 0;
    for (unsigned char c : line) n += (c & 0xC0) != 0x80;
    return n;
}

std::vector<std::string> Build(CUnitState& state, CRecordingSender& sender)
{
    return Lines(BuildStatusPage(state, sender));
}

void ExpectPage(const std::vector<std::string>& actual, const std::vector<std::string>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
}

void SetSatellite(CUnitState& state, int row, const char* prn, int strength, char track)
{
    state.m_aSatellites[row].m_strPrn = prn;
    state.m_aSatellites[row].m_nStrength = strength;
    state.m_aSatellites[row].m_chTrackMode = track;
}

// A type-16 unit averaging its position, locked to GPS, with a full table.
CUnitState LockedType16()
{
    CUnitState s;
    s.m_nProductType = PT_16;
    s.m_strPartNumber = "512-6300-01";
    s.m_chTimeMode = 'U';
    s.m_strTimeOfDay = "123:04:05:06";
    s.m_chPositionMode = 'P';
    s.m_nAveragingCount = 3661;
    s.m_nMonth = 5;
    s.m_nDay = 3;
    s.m_nYear = 2024;
    s.m_strLocalOffsetHours = "-05";
    s.m_strLocalOffsetMinutes = "30";
    s.m_position.m_strLatDegrees = "40";
    s.m_position.m_strLatMinutes = "26.7670";
    s.m_position.m_strLonDegrees = "079";
    s.m_position.m_strLonMinutes = "58.9300";
    s.RepackPosition();
    s.m_chTfom = '3';
    s.m_chDisciplineState = '1';
    s.m_fHeight = 273.5f;
    s.m_nMaskAngle = 5;
    s.m_strLeapNow = "18";
    s.m_strLeapFuture = "18";
    s.m_nCoastDuration = 86400 + 3600 + 60 + 1;
    s.m_chGpsChannels = '8';
    SetSatellite(s, 0, "05", 45, '2');
    SetSatellite(s, 1, "12", 7, '1');
    SetSatellite(s, 2, "00", 40, '1');
    SetSatellite(s, 3, "29", 0, '0');
    SetSatellite(s, 4, "7", 38, '1');
    SetSatellite(s, 5, "31", 10, 'x');
    SetSatellite(s, 6, "02", 51, '2');
    SetSatellite(s, 7, "25", 33, '0');
    s.m_nTimeDiffCount = 8;
    s.m_anTimeDiff[1] = -12;
    s.m_strStdErrorEstimate = "2.34E-012";
    s.m_strFreqErrorEstimate = "-1.10E-11";
    s.m_strSamplesInCycle = "001234";
    s.m_strCyclesCompleted = "000042";
    s.m_strAntennaDelay = "000150";
    s.m_strDacValue = "31250";
    s.m_strTemperature = "041.5";
    return s;
}

TEST(StatusPage, InitialStateWholePage)
{
    CUnitState state;
    CRecordingSender sender;
    ExpectPage(Build(state, sender), {
        "-------  Time/Status  -------     -----------  Position  ----------",
        "Unknown??:     017:08:15:00       Mode:      Unknown??             ",
        "                Jan. 17, 1977                                        ",
        "Local Offset:  +00 hrs. 00 min.   Latitude:  N  33:11.1111         ",
        "TFOM:          9                  Longitude: W 117:22.2222         ",
        "Mode:          Warm Up            Height:           0.00 m         ",
        "Coast Duration:Not Applicable                                      ",
        "Leap Second:   Not Available                                       ",
        "",
        "--------  Satellite  --------     ------------  General  ----------",
        "PRN  Strength  Track Mode         1PPS Time Diff. to GPS:Not Avail.",
        "  0    100%     Searching          Std. Error of Estimate:Not Avail.",
        "  1    11       Searching          Frequency Error Est.:  Not Avail.",
        "  2    12       Searching          Samples in Cycle:      Not Avail.",
        "  3    13       Searching          Cycles Completed:      Not Avail.",
        "  4    14       Searching          Antenna Delay:               0 ns",
        "                                  DAC Value:                  327??",
        "                                  Temperature:               0.0 \xC2\xB0" "C",
        "",
    });
    EXPECT_TRUE(sender.m_sent.empty());
    EXPECT_EQ(state.m_chSubscribedPositionMode, '?');
}

TEST(StatusPage, TimeLockedUnitWithSatellitesAndCountdown)
{
    CUnitState state = LockedType16();
    CRecordingSender sender;
    ExpectPage(Build(state, sender), {
        "-------  Time/Status  -------     -----------  Position  ----------",
        "UTC Time:      123:04:05:06       Mode:      Position Averaging    ",
        "               May  03, 2024                 Complete in: 22:58:59 ",
        "Local Offset:  -05 hrs. 30 min.   Latitude:  N  40:26.7670         ",
        "TFOM:          3                  Longitude: W  79:58.9300         ",
        "Mode:          Time Locked        Height:         273.50 m         ",
        "Coast Duration:Not Applicable     Mask Angle:05                    ",
        "Leap Second:   Now:18, Future:18                                   ",
        "",
        "--------  Satellite  --------     ------------  General  ----------",
        "PRN  Strength  Track Mode         1PPS Time Diff. to GPS:    -12 ns",
        " 05    45       Using              Std. Error of Estimate: 2.34E-012",
        " 12    70%     Acquiring          Frequency Error Est.:   -1.10E-11",
        "                                  Samples in Cycle:            1234",
        " 29             Searching          Cycles Completed:              42",
        "  7    38       Acquiring          Antenna Delay:             150 ns",
        " 31    100%     Unknown??          DAC Value:                  31250",
        " 02    51       Using              Temperature:              41.5 \xC2\xB0" "C",
        " 25    33       Searching                                           ",
        "",
    });
    // Type 16 is in no subscription table: nothing to arrange.
    EXPECT_TRUE(sender.m_sent.empty());
    EXPECT_EQ(state.m_chSubscribedPositionMode, '?');
}

TEST(StatusPage, CoastingUnitWithoutSamples)
{
    CUnitState state = LockedType16();
    state.m_chDisciplineState = '2';
    state.m_strSamplesInCycle = "000000";
    CRecordingSender sender;
    ExpectPage(Build(state, sender), {
        "-------  Time/Status  -------     -----------  Position  ----------",
        "UTC Time:      123:04:05:06       Mode:      Position Averaging    ",
        "               May  03, 2024                 Complete in: 22:58:59 ",
        "Local Offset:  -05 hrs. 30 min.   Latitude:  N  40:26.7670         ",
        "TFOM:          3                  Longitude: W  79:58.9300         ",
        "Mode:          Coasting           Height:         273.50 m         ",
        "Coast Duration:  1d,  1h,  1m     Mask Angle:05                    ",
        "Leap Second:   Now:18, Future:18                                   ",
        "",
        "--------  Satellite  --------     ------------  General  ----------",
        "PRN  Strength  Track Mode         1PPS Time Diff. to GPS:Not Avail.",
        " 05    45       Using              Std. Error of Estimate: 2.34E-012",
        " 12    70%     Acquiring          Frequency Error Est.:   -1.10E-11",
        "                                  Samples in Cycle:               0",
        " 29             Searching          Cycles Completed:      Not Avail.",
        "  7    38       Acquiring          Antenna Delay:             150 ns",
        " 31    100%     Unknown??          DAC Value:                  31250",
        " 02    51       Using              Temperature:              41.5 \xC2\xB0" "C",
        " 25    33       Searching                                           ",
        "",
    });

    // With no cycle completed, none of the estimators is shown while coasting.
    state.m_strCyclesCompleted = "0";
    const auto lines = Build(state, sender);
    EXPECT_EQ(lines[11].substr(25), "          Std. Error of Estimate:Not Avail.");
    EXPECT_EQ(lines[12].substr(24), "          Frequency Error Est.:  Not Avail.");
    EXPECT_EQ(lines[13].substr(24), "          Samples in Cycle:      Not Avail.");
}

TEST(StatusPage, LegacyUnitInKnownModeResubscribesAndShowsTestStatus)
{
    CUnitState state;
    state.m_nProductType = PT_9;
    state.m_chPositionMode = 'K';
    state.m_chDisciplineState = '1';
    state.m_chGpsChannels = '8';
    state.m_strBuiltInTest = "0100000";
    state.m_aSatellites[6].m_chTrackMode = '1';
    state.m_aSatellites[7].m_chTrackMode = '2';
    CRecordingSender sender;
    const std::vector<std::string> subscribe = {"UNSL,PAVG,0", "UNSL,EL,1", "UNSL,LL,1", "UNSL,TR,1"};

    auto lines = Build(state, sender);
    EXPECT_EQ(sender.m_sent, subscribe);
    EXPECT_EQ(state.m_chSubscribedPositionMode, 'K');
    sender.m_sent.clear();
    Build(state, sender);
    EXPECT_EQ(sender.m_sent, subscribe) << "sent again on every drawing";

    ASSERT_EQ(lines.size(), 25u);
    const std::vector<std::string> tail(lines.begin() + 19, lines.end());
    ExpectPage(tail, {
        "",
        "---------------------------  Test Status   ------------------------",
        "               GPS Test:Error!    1 PPS     :Ok                    ",
        "               GPS Comm. :Ok      Frequency :Ok                    ",
        "               Track Sat.:Ok      DAC Limit :Ok                    ",
        "",
    });
    EXPECT_EQ(lines[6], "Coast Duration:Not Applicable                                      ");
    EXPECT_EQ(lines[7], "Leap Second:   Now:00, Future:00                                   ");
    EXPECT_EQ(lines[17].substr(0, 25), "  6    16       Using    ");
    EXPECT_EQ(lines[18].substr(0, 25), "  7    17       UnKnown??");
}

TEST(StatusPage, TestStatusPositionsAndShortText)
{
    CUnitState state;
    state.m_nProductType = PT_11;
    state.m_strBuiltInTest = "0";
    CRecordingSender sender;
    auto lines = Build(state, sender);
    ASSERT_GE(lines.size(), 5u);
    const std::vector<std::string> tail(lines.end() - 4, lines.end() - 1);
    ExpectPage(tail, {
        "               GPS Test:Error!    1 PPS:Error!                     ",
        "               GPS Comm.:Error!   Frequency:Error!                 ",
        "               Track Sat.:Ok      DAC Limit:Error!                 ",
    });

    // Position 3 is not shown at all.
    state.m_strBuiltInTest = "0009000";
    lines = Build(state, sender);
    for (auto it = lines.end() - 4; it != lines.end() - 1; ++it) EXPECT_EQ(it->find("Error"), std::string::npos);

    state.m_nProductType = PT_16;
    lines = Build(state, sender);
    EXPECT_EQ(lines.size(), 19u) << "no Test Status section for other types";
}

TEST(StatusPage, Model620003QueriesAndLines)
{
    CUnitState state = LockedType16();
    state.m_nProductType = PT_17;
    state.m_strPartNumber = "512-6200-03";
    state.m_chPositionMode = 'D';
    state.m_chDisciplineState = '2';
    state.m_nCoastCount = 12345;
    state.m_strLeapFuture = "19";
    state.m_dVelocityEast = 1.5;
    state.m_dVelocityNorth = -0.3;
    state.m_dVelocityUp = 10.0;
    state.m_dRawTimeDiff = -42.9;
    state.m_szPulseStatus = "E";
    state.m_chSelfTestStatus = '8';
    state.m_strStdErrorEstimate = "2.34E-012";
    CRecordingSender sender;

    auto lines = Build(state, sender);
    EXPECT_EQ(sender.m_sent, (std::vector<std::string>{"OUTQ", "SSTA", "TIMR"}));
    EXPECT_EQ(lines[6], "Coast Duration:         12345     Mask Angle:05                    ");
    EXPECT_EQ(lines[7], "Leap Second: Now:18, Future:19    Velocity: E  1.5 N -0.3 U 10.0   ");
    EXPECT_EQ(lines[11].substr(25), "          1PPS Status:              Enabled");
    EXPECT_EQ(lines[18].substr(25), "          Antenna under current            ");
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[19], "                                  1PPS Raw Time Diff.:       -42 ns");

    state.m_szPulseStatus = "D";
    state.m_chSelfTestStatus = '7';
    lines = Build(state, sender);
    EXPECT_EQ(lines[11].substr(25), "          1PPS Status:             Disabled");
    EXPECT_EQ(lines[18].substr(25), "          Antenna  over cuurent            ");

    // Another status letter falls back to the standard error, here available.
    state.m_szPulseStatus = "X";
    lines = Build(state, sender);
    EXPECT_EQ(lines[11].substr(25), "          Std. Error of Estimate: 2.34E-012");

    // Only the exact part number counts.
    state.m_strPartNumber = "512-6200-031";
    sender.m_sent.clear();
    lines = Build(state, sender);
    EXPECT_TRUE(sender.m_sent.empty());
    EXPECT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[6], "Coast Duration:  1d,  1h,  1m     Mask Angle:05                    ");
}

TEST(StatusPage, CyclesQueryAtTheEndOfEachSampleCycle)
{
    CUnitState state = LockedType16();
    CRecordingSender sender;
    auto estcSent = [&](const char* samples) {
        state.m_strSamplesInCycle = samples;
        sender.m_sent.clear();
        BuildStatusPage(state, sender);
        return sender.m_sent == std::vector<std::string>{"ESTC"};
    };
    EXPECT_TRUE(estcSent("599"));
    EXPECT_FALSE(estcSent("600"));
    EXPECT_TRUE(estcSent("001199"));
    EXPECT_TRUE(estcSent("1799"));
    EXPECT_FALSE(estcSent("598"));
    // -1 taken as unsigned is 4294967295, remainder 495.
    EXPECT_FALSE(estcSent("-1"));
    state.m_chDisciplineState = '0';
    EXPECT_FALSE(estcSent("599")) << "not asked while the samples are not shown";
}

TEST(StatusPage, SubscriptionSwitching)
{
    CRecordingSender sender;
    using Commands = std::vector<std::string>;
    auto draw = [&](CUnitState& state, char mode) {
        state.m_chPositionMode = mode;
        sender.m_sent.clear();
        BuildStatusPage(state, sender);
        return sender.m_sent;
    };

    CUnitState t3;
    t3.m_nProductType = PT_3;
    t3.m_chSubscribedPositionMode = 'K';
    EXPECT_EQ(draw(t3, 'K'), Commands{});
    EXPECT_EQ(draw(t3, 'P'), (Commands{"UNSL,PAVG,1", "UNSL,SPOS,0"}));
    EXPECT_EQ(t3.m_chSubscribedPositionMode, 'P');
    EXPECT_EQ(draw(t3, 'P'), Commands{});
    EXPECT_EQ(draw(t3, 'K'), (Commands{"UNSL,PAVG,0", "UNSL,SPOS,1"}));
    EXPECT_EQ(t3.m_chSubscribedPositionMode, 'K');
    EXPECT_EQ(draw(t3, 'D'), Commands{}) << "D and K share their subscriptions";
    EXPECT_EQ(t3.m_chSubscribedPositionMode, 'K');

    CUnitState t9;
    t9.m_nProductType = PT_9;
    EXPECT_EQ(draw(t9, 'S'), (Commands{"UNSL,PAVG,1", "UNSL,EL,0", "UNSL,LL,0", "TR"}));
    EXPECT_EQ(t9.m_chSubscribedPositionMode, 'S');
    EXPECT_EQ(draw(t9, 'S'), Commands{});
    draw(t9, 'D');
    EXPECT_EQ(draw(t9, 'S'), (Commands{"UNSL,PAVG,1", "UNSL,EL,0", "UNSL,LL,0"}));

    CUnitState t1;
    t1.m_nProductType = PT_1;
    EXPECT_EQ(draw(t1, 'D'), (Commands{"UNSL,PAVG,0", "UNSL,POS1,1"}));
    EXPECT_EQ(t1.m_chSubscribedPositionMode, 'D');
    EXPECT_EQ(draw(t1, 'S'), (Commands{"UNSL,PAVG,1", "UNSL,POS1,0", "UNSL,TRMO,1"}));
    EXPECT_EQ(t1.m_chSubscribedPositionMode, 'P');

    CUnitState t11;
    t11.m_nProductType = PT_11;
    EXPECT_EQ(draw(t11, 'P'), (Commands{"UNSL,PAVG,1", "UNSL,SPOS,0"}));
    EXPECT_EQ(draw(t11, 'D'), (Commands{"UNSL,PAVG,0", "UNSL,SPOS,1"}));

    CUnitState t6;
    t6.m_nProductType = PT_6;
    EXPECT_EQ(draw(t6, 'P'), (Commands{"UNSL,SPOS,1", "UNSL,PAVG,0"}));

    CUnitState t25;
    t25.m_nProductType = PT_25;
    EXPECT_EQ(draw(t25, 'P'), (Commands{"UNSL,PAVG,1", "UNSL,SPOS,0"}));
    EXPECT_EQ(draw(t25, 'P'), (Commands{"UNSL,PAVG,1", "UNSL,SPOS,0"})) << "repeated while 'P'";
    EXPECT_EQ(draw(t25, 'K'), (Commands{"UNSL,PAVG,1", "UNSL,SPOS,0"}));
    EXPECT_EQ(t25.m_chSubscribedPositionMode, 'K');
    EXPECT_EQ(draw(t25, 'K'), Commands{});

    CUnitState unlisted;
    unlisted.m_nProductType = PT_16;
    EXPECT_EQ(draw(unlisted, 'P'), Commands{});
    CUnitState unknownMode;
    unknownMode.m_nProductType = PT_9;
    EXPECT_EQ(draw(unknownMode, 'x'), Commands{});
    EXPECT_EQ(unknownMode.m_chSubscribedPositionMode, '?');
}

TEST(StatusPage, DateLineForms)
{
    CUnitState state;
    CRecordingSender sender;
    state.m_nProductType = PT_15;
    state.m_chPositionMode = 'P';
    state.m_nAveragingHours = 24;
    state.m_nAveragingCount = 0;
    EXPECT_EQ(Build(state, sender)[2], "               Jan. 17, 1977                 Complete in: 24:00:00 ");
    state.m_nAveragingCount = 24 * 3600;
    EXPECT_EQ(Build(state, sender)[2].substr(45), "Complete in: 00:00:00 ");
    state.m_nAveragingCount = 24 * 3600 + 1;
    EXPECT_EQ(Build(state, sender)[2], std::string(16, ' ') + "Jan. 17, 1977" + std::string(40, ' '));
    state.m_nModelVariant = 2;
    EXPECT_EQ(Build(state, sender)[2], "               Jan. 17, 1977                 Continuous            ");

    // The legacy unit surveys for six hours; hours are not limited to 23.
    CUnitState legacy;
    legacy.m_nProductType = PT_9;
    legacy.m_chPositionMode = 'S';
    legacy.m_nAveragingHours = 1;
    EXPECT_EQ(Build(legacy, sender)[2].substr(45), "Complete in: 06:00:00 ");
    state.m_nModelVariant = 1;
    state.m_nAveragingHours = 100;
    state.m_nAveragingCount = -1;
    EXPECT_EQ(Build(state, sender)[2].substr(45), "Complete in: 100:00:01 ");

    state.m_nMonth = 9;
    state.m_nDay = 5;
    state.m_nYear = 99;
    state.m_chPositionMode = 'K';
    EXPECT_EQ(Build(state, sender)[2].substr(16, 13), "Sept.05,   99");
    state.m_nMonth = 13;
    EXPECT_EQ(Build(state, sender)[2].substr(16, 13), "     05,   99");
    state.m_nMonth = INT_MIN;
    EXPECT_EQ(Build(state, sender)[2].substr(16, 13), "     05,   99");
}

TEST(StatusPage, OffsetCoastAndMaskTexts)
{
    CUnitState state;
    CRecordingSender sender;
    state.m_strLocalOffsetHours = "5";
    state.m_strLocalOffsetMinutes = "5";
    state.m_position.m_chLatHemisphere = 'q';
    EXPECT_EQ(Build(state, sender)[3], "Local Offset:  5  hrs. 05 min.   Latitude:  U? 33:11.1111         ");

    state.m_nProductType = PT_4;
    EXPECT_EQ(Build(state, sender)[6], "Coast Duration:Not Applicable     Mask Angle:-1                    ");
    state.m_chDisciplineState = '2';
    EXPECT_EQ(Build(state, sender)[6], "Coast Duration:Not Available      Mask Angle:-1                    ");
    state.m_nProductType = PT_0;
    EXPECT_EQ(Build(state, sender)[6], "Coast Duration:Not Available                                       ");
    state.m_chDisciplineState = '7';
    EXPECT_EQ(Build(state, sender)[5], "Mode:          7        Height:           0.00 m         ");
}

TEST(StatusPage, ChannelCountOutsideTheTable)
{
    CUnitState state;
    CRecordingSender sender;
    state.m_chGpsChannels = '9';
    auto lines = Build(state, sender);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[18].substr(0, 25), "  7    17       Searching");
    EXPECT_EQ(lines[19], std::string(67, ' ')) << "the ninth row has no table entry";

    state.m_chGpsChannels = 'z';
    lines = Build(state, sender);
    ASSERT_EQ(lines.size(), 12u + ('z' - '0'));
    for (std::size_t i = 19; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i], std::string(67, ' '));

    for (char ch : {'\0', '!', static_cast<char>(0xFF), '3'}) {
        state.m_chGpsChannels = ch;
        lines = Build(state, sender);
        EXPECT_EQ(lines.size(), 19u) << "at least seven rows";
    }
    EXPECT_EQ(lines[13].substr(0, 25), "  2    12       Searching");
    EXPECT_EQ(lines[14].substr(0, 24), std::string(24, ' '));
}

// Every line is 67 columns wide except the ones laid out otherwise: empty
// lines, the plain date line (69), an unknown discipline state (57), a
// channel whose strength text is eight wide (one column more), and the
// unidentified 512-6200-03 unit, whose leap text keeps the long form beside
// the velocity (69). Field values are kept within their fields here.
TEST(StatusPage, LinesKeepTheirWidthOverRandomStates)
{
    std::mt19937 rng(20240517);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto digits = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(0, 9));
        return s;
    };
    auto anyChar = [&] { return static_cast<char>(pick(32, 126)); };

    for (int round = 0; round < 3000; ++round) {
        CUnitState s;
        s.m_nProductType = pick(-1, 28);
        const char* parts[] = {"", "512-6200-03", "512-6200-01", "512-6200-031"};
        s.m_strPartNumber = parts[pick(0, 3)];
        s.m_chTimeMode = "12345GUug?"[pick(0, 9)];
        s.m_chPositionMode = "DKPS?x"[pick(0, 5)];
        s.m_chSubscribedPositionMode = "DKPS?"[pick(0, 4)];
        s.m_strTimeOfDay = digits(3) + ":" + digits(2) + ":" + digits(2) + ":" + digits(2);
        s.m_nMonth = pick(0, 12);
        s.m_nDay = pick(1, 31);
        s.m_nYear = pick(1000, 9999);
        s.m_nModelVariant = pick(1, 2);
        s.m_nAveragingHours = pick(0, 99);
        s.m_nAveragingCount = pick(0, 400000);
        s.m_strLocalOffsetHours = std::string(1, "+-"[pick(0, 1)]) + digits(2);
        s.m_strLocalOffsetMinutes = pick(0, 1) ? "00" : "30";
        s.m_nLatitudePacked = pick(-89999999, 89999999);
        s.m_nLongitudePacked = pick(-99999999, 179999999);
        s.m_position.m_strLatMinutes = digits(2) + "." + digits(4);
        s.m_position.m_strLonMinutes = digits(2) + "." + digits(4);
        s.m_position.m_chLatHemisphere = "NSEWx"[pick(0, 4)];
        s.m_position.m_chLonHemisphere = "NSEWx"[pick(0, 4)];
        s.m_chTfom = anyChar();
        s.m_chDisciplineState = "0123456x"[pick(0, 7)];
        s.m_fHeight = static_cast<float>(pick(-99999, 999999)) / 100.0f;
        s.m_nCoastDuration = pick(0, 999 * 86400);
        s.m_nCoastCount = pick(INT_MIN + 1, INT_MAX) / 1000;
        s.m_nMaskAngle = pick(-9, 99);
        s.m_strLeapNow = digits(2);
        s.m_strLeapFuture = digits(2);
        s.m_dVelocityEast = pick(-999, 9999) / 10.0;
        s.m_dVelocityNorth = pick(-999, 9999) / 10.0;
        s.m_dVelocityUp = pick(-999, 9999) / 10.0;
        s.m_chGpsChannels = static_cast<char>('0' + pick(0, 9));
        for (CSatelliteRow& row : s.m_aSatellites) {
            row.m_strPrn = pick(0, 3) ? digits(pick(1, 2)) : "00";
            row.m_nStrength = pick(-9, 99);
            row.m_chTrackMode = "012x"[pick(0, 3)];
        }
        s.m_nTimeDiffCount = pick(0, 1000);
        for (int& diff : s.m_anTimeDiff) diff = pick(-99999, 999999);
        s.m_szPulseStatus = std::string(1, "EDX"[pick(0, 2)]);
        s.m_chSelfTestStatus = anyChar();
        s.m_strStdErrorEstimate = digits(pick(0, 10));
        s.m_strFreqErrorEstimate = digits(pick(0, 10));
        s.m_strSamplesInCycle = digits(pick(1, 6));
        s.m_strCyclesCompleted = pick(0, 3) ? digits(pick(1, 6)) : "0";
        s.m_strAntennaDelay = digits(pick(1, 6));
        s.m_strDacValue = digits(pick(0, 5));
        s.m_strTemperature = std::to_string(pick(-999, 9999) / 10.0);
        s.m_dRawTimeDiff = pick(INT_MIN, INT_MAX) / 3.0;
        s.m_strBuiltInTest = digits(pick(0, 8));

        const CUnitState before = s;
        CRecordingSender sender;
        const auto lines = Build(s, sender);
        const int channels = before.m_chGpsChannels - '0';
        const std::size_t rows = channels > 7 ? channels : 7;
        const bool model = before.m_strPartNumber == "512-6200-03";
        const bool tests = before.m_nProductType == PT_9 || before.m_nProductType == PT_11;
        ASSERT_EQ(lines.size(), 11 + rows + (model ? 1 : 0) + (tests ? 5 : 0) + 1);

        for (std::size_t i = 0; i < lines.size(); ++i) {
            std::size_t expected = 67;
            const bool emptyLine = i == 8 || i + 1 == lines.size() || (tests && i + 6 == lines.size());
            if (emptyLine) {
                expected = 0;
            } else if (i == 2 && lines[i].find("Complete in: ") == std::string::npos &&
                       lines[i].find("Continuous") == std::string::npos) {
                expected = 69;
            } else if (i == 5 && std::string("012345").find(before.m_chDisciplineState) == std::string::npos) {
                expected = 57;
            } else if (i == 7 && model && before.m_nProductType == PT_UNIDENTIFIED) {
                expected = 69;
            } else if (i >= 11 && i < 11 + rows) {
                const std::size_t row = i - 11;
                if (row < 8 && static_cast<int>(row) < channels && before.m_aSatellites[row].m_strPrn != "00") {
                    const int strength = before.m_aSatellites[row].m_nStrength;
                    if (strength < 1 || strength > 9) expected = 68;
                }
            }
            EXPECT_EQ(Columns(lines[i]), expected) << "round " << round << " line " << i + 1 << ": \""
                                                   << Escape(lines[i]) << "\"";
        }
        if (HasFailure()) break;
    }
}

// Values far outside their fields lengthen their lines but never break the page.
TEST(StatusPage, ExtremeValuesStaySafe)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int round = 0; round < 4; ++round) {
        CUnitState s;
        const int big = round % 2 ? INT_MIN : INT_MAX;
        const int opposite = round % 2 ? INT_MAX : INT_MIN;
        s.m_nProductType = round < 2 ? PT_9 : PT_16;
        s.m_strPartNumber = round == 3 ? "512-6200-03" : "";
        s.m_chPositionMode = round < 2 ? 'S' : 'P';
        s.m_nMonth = big;
        s.m_nDay = big;
        s.m_nYear = big;
        s.m_nAveragingHours = big;
        s.m_nAveragingCount = opposite;
        s.m_nLatitudePacked = big;
        s.m_nLongitudePacked = big;
        s.m_chDisciplineState = '2';
        s.m_fHeight = round % 2 ? std::numeric_limits<float>::max() : static_cast<float>(nan);
        s.m_nCoastDuration = big;
        s.m_nCoastCount = big;
        s.m_nMaskAngle = big;
        s.m_dVelocityEast = round % 2 ? 1e300 : nan;
        s.m_dVelocityUp = -std::numeric_limits<double>::infinity();
        s.m_chGpsChannels = static_cast<char>(round * 60);
        s.m_aSatellites[0].m_nStrength = big;
        s.m_aSatellites[1].m_nStrength = opposite;
        s.m_aSatellites[2].m_strPrn = std::string(300, '7');
        s.m_nTimeDiffCount = big;
        s.m_anTimeDiff[0] = big;
        s.m_strSamplesInCycle = "99999999999999999999";
        s.m_strCyclesCompleted = "-99999999999999999999";
        s.m_strAntennaDelay = "-2147483649";
        s.m_strTemperature = "1e308";
        s.m_strLocalOffsetMinutes = "";
        s.m_strTimeOfDay = std::string("\0\r\n", 3);
        s.m_chSelfTestStatus = static_cast<char>(0x80);
        s.m_dRawTimeDiff = round % 2 ? -1e300 : nan;
        s.m_strBuiltInTest.clear();

        CRecordingSender sender;
        const std::string page = BuildStatusPage(s, sender);
        ASSERT_GE(page.size(), 4u);
        EXPECT_EQ(page.substr(page.size() - 4), "\r\n\r\n");
        EXPECT_NE(page.find("Local Offset:  +00 hrs. 00 min."), std::string::npos);
    }
}

}  // namespace
}  // namespace velmor
