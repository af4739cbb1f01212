// The reply handlers driven through DispatchSentence on a whole program with
// a recording host and device: what lands in the unit state, in open dialogs
// and on the line.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/Program.h"
#include "protocol/Dispatcher.h"
#include "protocol/Handlers.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"
#include "text/Text.h"

namespace velmor {
namespace {

using Log = std::vector<std::string>;

// One recorder for all four dialog interfaces.
class CDialogRecorder : public IAboutDlg, public IEventTriggerDlg, public IRateOutputDlg, public ITimeTagDlg {
public:
    void SetProductName(const std::string& t) override { m_log.push_back("name " + t); }
    void SetIdNumber(const std::string& t) override { m_log.push_back("id " + t); }
    void SetFirmwareVersion(const std::string& t) override { m_log.push_back("version " + t); }
    void SetFirmwarePartNumber(const std::string& t) override { m_log.push_back("fwpn " + t); }
    void SetGpsVersion(const std::string& t) override { m_log.push_back("gpsversion " + t); }
    void SetGpsChannels(const std::string& t) override { m_log.push_back("channels [" + t + "]"); }
    void FillStart(const std::string& d) override { m_log.push_back("start " + d); }
    void FillPeriod(const std::string& d) override { m_log.push_back("period " + d); }
    void FillWidth(const std::string& d) override { m_log.push_back("width " + d); }
    void SetInvert(bool c) override { m_log.push_back(c ? "invert on" : "invert off"); }
    void OnRateReply(const std::string& r) override { m_log.push_back("rout " + r); }
    void ClearList() override { m_log.push_back("clear"); }
    void AddLine(const std::string& l) override { m_log.push_back("line " + l); }
    void SetMode(char m) override { m_log.push_back(std::string("mode ") + m); }
    Log m_log;
};

struct ReplyHandlers : ::testing::Test {
    CFakeHost m_host;
    CFakeSerialDevice m_device;
    CProfile m_profile = CProfile::InMemory();
    CProgram m_program{m_host, m_device, m_profile};
    CUnitState& s = m_program.Session().StateForTest();
    CDialogRecorder m_dlg;

    ReplyHandlers() { m_device.m_bOpen = true; }

    void Feed(const std::string& body) { m_program.Session().DispatchSentence(body); }
    // The bodies written since the last call, without "$" and "*\r\n".
    Log Sent()
    {
        Log bodies;
        for (const std::string& sentence : m_device.Writes()) {
            EXPECT_EQ(sentence.substr(sentence.size() - 3), "*\r\n");
            bodies.push_back(sentence.substr(1, sentence.size() - 4));
        }
        m_device.ClearWritten();
        return bodies;
    }
    void OpenAllDialogs()
    {
        m_program.Session().SetAboutDlg(&m_dlg);
        m_program.Session().SetEventTriggerDlg(&m_dlg);
        m_program.Session().SetRateOutputDlg(&m_dlg);
        m_program.Session().SetTimeTagDlg(&m_dlg);
    }
    void CloseAllDialogs()
    {
        m_program.Session().SetAboutDlg(nullptr);
        m_program.Session().SetEventTriggerDlg(nullptr);
        m_program.Session().SetRateOutputDlg(nullptr);
        m_program.Session().SetTimeTagDlg(nullptr);
    }
};

// ---- time and status --------------------------------------------------------

TEST_F(ReplyHandlers, TimeDerivesDateWithoutCenturyRule)
{
    struct { const char* body; int month, day; } cases[] = {
        {"TIME,2011,060,13,24,05,2,3,0", 3, 1},
        {"TIME,2012,060,13,24,05,2,3,0", 2, 29},
        {"TIME,2100,060,13,24,05,2,3,0", 2, 29},
        {"TIME,2011,366,13,24,05,2,3,0", 12, 32},
    };
    for (const auto& c : cases) {
        Feed(c.body);
        EXPECT_EQ(s.m_nMonth, c.month) << c.body;
        EXPECT_EQ(s.m_nDay, c.day) << c.body;
    }
    Feed("TIME,2013,000,13,24,05,2,3,0");
    EXPECT_EQ(s.m_nYear, 2013);
    EXPECT_EQ(s.m_nMonth, 12);
    EXPECT_EQ(s.m_nDay, 32);
    EXPECT_EQ(s.m_strTimeOfDay, "000:13:24:05");
}

TEST_F(ReplyHandlers, TimeStoresEverythingAndRedraws)
{
    s.m_bPageDirty = false;
    Feed("TIME,2010,045,13,24,05,2,3,0");
    EXPECT_EQ(s.m_strTimeOfDay, "045:13:24:05");
    EXPECT_EQ(s.m_chTimeMode, '2');
    EXPECT_EQ(s.m_chTfom, '3');
    EXPECT_TRUE(s.m_bPageDirty);
    EXPECT_EQ(m_host.m_log, Log{"invalidate"});
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ReplyHandlers, TimeMissingFieldKeepsEarlierFieldsAndSendsNothing)
{
    s.m_nProductType = PT_15;
    s.m_bPageDirty = false;
    Feed("TIME,2012,060,13");
    EXPECT_EQ(s.m_nYear, 2012);
    EXPECT_EQ(s.m_nMonth, 2);
    EXPECT_EQ(s.m_strTimeOfDay, "017:08:15:00");
    Feed("TIME,2012,060,13,24,00,2,3");  // discipline state missing
    EXPECT_EQ(s.m_strTimeOfDay, "060:13:24:00");
    EXPECT_EQ(s.m_chTfom, '3');
    EXPECT_FALSE(s.m_bPageDirty);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ReplyHandlers, TimeAsksForLeapOncePerDisciplineChange)
{
    Feed("TIME,2010,045,13,24,05,2,3,1");
    Feed("TIME,2010,045,13,24,06,2,3,1");
    EXPECT_EQ(Sent(), Log{"LEAP"});
    Feed("TIME,2010,045,13,24,07,2,3,2");
    EXPECT_EQ(Sent(), Log{"LEAP"});
    EXPECT_EQ(s.m_chDisciplineState, '2');
}

TEST_F(ReplyHandlers, TimeAsksForModelTypeAtSecondsDivisibleBy59OnTypes15To18)
{
    s.m_nProductType = PT_15;
    Feed("TIME,2010,045,13,24,00,2,3,0");
    Feed("TIME,2010,045,13,24,59,2,3,0");
    Feed("TIME,2010,045,13,24,30,2,3,0");
    Feed("TIME,2010,045,13,24,-59,2,3,0");
    EXPECT_EQ(Sent(), (Log{"MTYP", "MTYP", "MTYP"}));
    for (int type : {PT_0, PT_19}) {
        s.m_nProductType = type;
        Feed("TIME,2010,045,13,24,00,2,3,0");
        Feed("TIME,2010,045,13,24,59,2,3,0");
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ReplyHandlers, LegacyTimeMapsStatusAndLeavesTimeModeAlone)
{
    const std::pair<const char*, char> cases[] = {{"1", '2'}, {"3", '1'}, {"2", '0'}, {"x", '0'}};
    for (const auto& [status, state] : cases) {
        Feed(std::string("TM,") + status + ",2012,060,01,02,03,7");
        EXPECT_EQ(s.m_chDisciplineState, state) << status;
    }
    EXPECT_EQ(s.m_strTimeOfDay, "060:01:02:03");
    EXPECT_EQ(s.m_nMonth, 2);
    EXPECT_EQ(s.m_chTfom, '7');
    EXPECT_EQ(s.m_chTimeMode, '?');
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ReplyHandlers, LocalOffsetHoursAreNormalised)
{
    const std::pair<const char*, const char*> timm[] = {
        {"5", "+05"}, {"-5", "-05"}, {"05", "+05"}, {"-05", "-05"}, {"123", "+12"}, {"+123", "+123"}};
    for (const auto& [in, out] : timm) {
        Feed(std::string("TIMM,U,") + in + ",-30");
        EXPECT_EQ(s.m_strLocalOffsetHours, out) << in;
        EXPECT_EQ(s.m_strLocalOffsetMinutes, "30");
    }
    Feed("TMD1,3,5,+15");
    EXPECT_EQ(s.m_chTimeMode, '3');
    EXPECT_EQ(s.m_strLocalOffsetHours, "5");
    EXPECT_EQ(s.m_strLocalOffsetMinutes, "15");
    Feed("TMD1,3,-5");
    EXPECT_EQ(s.m_strLocalOffsetHours, "-05");
    Feed("TMD1,G");  // no "25"/"00" preset here
    EXPECT_EQ(s.m_strLocalOffsetHours, "-05");
    Feed("TIMM,G");
    EXPECT_EQ(s.m_chTimeMode, 'G');
    EXPECT_EQ(s.m_strLocalOffsetHours, "25");
    EXPECT_EQ(s.m_strLocalOffsetMinutes, "00");
}

TEST_F(ReplyHandlers, LegacyOffsetLeapAndCounters)
{
    Feed("LO,-50,30");
    EXPECT_EQ(s.m_strLocalOffsetHours, "-5 ");
    EXPECT_EQ(s.m_strLocalOffsetMinutes, "30 ");
    Feed("LEAP,15,16");
    EXPECT_EQ(s.m_strLeapNow, "15");
    EXPECT_EQ(s.m_strLeapFuture, "16");
    Feed("NTLC,3600");
    Feed("TIMR,-12.7");
    Feed("OUTQ,1,ENABLED,0,77");
    EXPECT_EQ(s.m_nCoastDuration, 3600);
    EXPECT_EQ(s.m_dRawTimeDiff, -12.0);
    EXPECT_STREQ(s.m_szPulseStatus.c_str(), "ENA");
    EXPECT_EQ(s.m_nCoastCount, 77);
    Feed("BT 0100000,9");
    EXPECT_EQ(s.m_strBuiltInTest, "0100000");
}

TEST_F(ReplyHandlers, TimeDifferenceRingSkipsRepeats)
{
    Feed("TIMD,10");
    Feed("TIMD,10");
    Feed("TIMD,20");
    EXPECT_EQ(s.m_nTimeDiffCount, 8);
    EXPECT_EQ(s.m_anTimeDiff[0], 10);
    EXPECT_EQ(s.m_anTimeDiff[1], 20);
    EXPECT_EQ(s.m_nLastTimeDiff, 20);
    Feed("MD,123-09");
    EXPECT_EQ(s.m_nLastTimeDiff, 1);
    EXPECT_EQ(s.m_anTimeDiff[2], 1);
    Feed("MD,+");  // too short for a mantissa: reads as 0
    EXPECT_EQ(s.m_nLastTimeDiff, 0);
    s.m_nTimeDiffCount = INT_MAX;  // no overflow at the end of the count
    Feed("TIMD,5");
    EXPECT_EQ(s.m_nTimeDiffCount, 0);
}

TEST_F(ReplyHandlers, SelfTestOnlyForOnePartNumber)
{
    Feed("SSTA,0,0,0,008");
    EXPECT_EQ(s.m_chSelfTestStatus, 0);
    s.m_strPartNumber = "512-6200-03";
    Feed("SSTA,0,0,0,008");
    EXPECT_EQ(s.m_chSelfTestStatus, '8');
    Feed("SSTA,0,0,0,08");
    EXPECT_EQ(s.m_chSelfTestStatus, 0);
}

// ---- position, velocity and satellites --------------------------------------

TEST_F(ReplyHandlers, RunningPositionLeavesNumbersAloneWhileAveraging)
{
    const int lat = s.m_nLatitudePacked;
    s.m_chPositionMode = 'P';
    Feed("POS1,34,12.3456,S,118,2.3,E,99.5");
    EXPECT_EQ(s.m_position.m_strLatMinutes, "12.3456");
    EXPECT_EQ(s.m_position.m_chLonHemisphere, 'E');
    EXPECT_EQ(s.m_position.m_strHeight, "00.00");
    EXPECT_EQ(s.m_nLatitudePacked, lat);

    Feed("TRMO,K");
    Feed("POS1,34,,12.3456,S,118,2.3,E,99.5");  // empty fields collapse
    EXPECT_EQ(s.m_position.m_strHeight, "99.5");
    EXPECT_FLOAT_EQ(s.m_fHeight, 99.5f);
    // Double-precision products truncated: 12.3456 falls one below, 2.3 does not.
    EXPECT_EQ(s.m_nLatitudePacked, 34000000 + 123455);
    EXPECT_EQ(s.m_nLongitudePacked, 118000000 + 23000);
}

TEST_F(ReplyHandlers, AveragedPositionUsesItsOwnPackingAndIsAllOrNothing)
{
    s.m_nProductType = PT_4;  // no averaging count
    s.m_chPositionMode = 'K';
    Feed("PAVG,34,12.3456,S,118,2.3,E,99.5");
    EXPECT_EQ(s.m_nLatitudePacked, 34000000 + 123456);
    EXPECT_EQ(s.m_nLongitudePacked, 118000000 + 22999);
    EXPECT_EQ(s.m_position.m_chLatHemisphere, 'S');

    s.m_nProductType = PT_15;
    Feed("PAVG,35,1.0,N,119,1.0,W,10.0,0");
    EXPECT_EQ(s.m_nAveragingCount, 0);
    EXPECT_EQ(s.m_position.m_strLatDegrees, "34");
    s.m_nAveragingCount = 5;
    Feed("PAVG,35,1.0,N,119,1.0,W,10.0");  // count missing
    Feed("PAVG,35,1.0,N,119,1.0,W");       // height missing
    EXPECT_EQ(s.m_nAveragingCount, 5);
    EXPECT_EQ(s.m_position.m_strLatDegrees, "34");

    s.m_nProductType = PT_16;
    Feed("PAVG,35,1.0,N,119,1.0,W,10.0,0");
    EXPECT_EQ(s.m_nAveragingCount, 0);
    EXPECT_EQ(s.m_position.m_strLatDegrees, "35");
    EXPECT_EQ(s.m_position.m_strHeight, "10.0");
    EXPECT_FLOAT_EQ(s.m_fHeight, 10.0f);
}

TEST_F(ReplyHandlers, SposFromTypeZeroUpdatesNumbersInAnyModeAndTakesCount)
{
    s.m_chPositionMode = 'P';
    s.m_nProductType = PT_3;
    Feed("SPOS,34,1.5,N,118,1.5,W,7.5,99");
    EXPECT_EQ(s.m_position.m_strHeight, "7.5");
    EXPECT_EQ(s.m_fHeight, 0.0f);
    EXPECT_EQ(s.m_nAveragingCount, 0);

    s.m_nProductType = PT_0;
    Feed("SPOS,34,1.5,N,118,1.5,W,7.5,99");
    EXPECT_FLOAT_EQ(s.m_fHeight, 7.5f);
    EXPECT_EQ(s.m_nLatitudePacked, 34015000);
    EXPECT_EQ(s.m_nAveragingCount, 99);
}

TEST_F(ReplyHandlers, LegacyLatLonPacking)
{
    s.m_chPositionMode = 'S';
    const int lat = s.m_nLatitudePacked;
    Feed("LL N037341234W117221234");
    EXPECT_EQ(s.m_position.m_strLatDegrees, "037");
    EXPECT_EQ(s.m_position.m_strLatMinutes, "34.1234");
    EXPECT_EQ(s.m_position.m_chLonHemisphere, 'W');
    EXPECT_EQ(s.m_position.m_strLonDegrees, "117");
    EXPECT_EQ(s.m_position.m_strLonMinutes, "22.1234");
    EXPECT_EQ(s.m_nLatitudePacked, lat);

    s.m_chPositionMode = 'K';
    Feed("LL N037341234W117221234");
    EXPECT_EQ(s.m_nLatitudePacked, 37000000 + 341234 - 1);
    EXPECT_EQ(s.m_nLongitudePacked, 117000000 + 221234);

    Feed("LL S0123");  // texts end where the field ends
    EXPECT_EQ(s.m_position.m_chLatHemisphere, 'S');
    EXPECT_EQ(s.m_position.m_strLatDegrees, "012");
    EXPECT_EQ(s.m_position.m_strLatMinutes, "3");
    EXPECT_EQ(s.m_position.m_strLonDegrees, "");
    EXPECT_EQ(s.m_position.m_strLonMinutes, "");
}

TEST_F(ReplyHandlers, LegacyHeightInCentimetres)
{
    s.m_chPositionMode = 'S';
    Feed("EL 12345M");
    EXPECT_EQ(s.m_position.m_strHeight, "00.00");
    s.m_chPositionMode = 'K';
    const std::pair<const char*, const char*> cases[] = {
        {"EL 12345M", "123.45"}, {"EL 45M", ".45"}, {"EL 1234-5M", "1234.E-5"},
        {"EL 123456789012M", "12345678.9012"}, {"EL 1-2-3M", "1-2.E-3"}};
    for (const auto& [body, text] : cases) {
        Feed(body);
        EXPECT_EQ(s.m_position.m_strHeight, text) << body;
    }
    Feed("EL 1234-5M");
    EXPECT_FLOAT_EQ(s.m_fHeight, 0.01234f);
}

TEST_F(ReplyHandlers, VelocitySatellitesAndMask)
{
    Feed("PVT1,1,2,3,4,5,6,7,8,9,0.5,-1.5");
    EXPECT_EQ(s.m_dVelocityEast, 0.5);
    EXPECT_EQ(s.m_dVelocityNorth, -1.5);
    EXPECT_EQ(s.m_dVelocityUp, 0.0);

    Feed("SIGQ,05,45,2,12,40,1,00,0,0,21,33,2,07,20,1");
    EXPECT_EQ(s.m_aSatellites[0].m_strPrn, "05");
    EXPECT_EQ(s.m_aSatellites[0].m_nStrength, 45);
    EXPECT_EQ(s.m_aSatellites[1].m_chTrackMode, '1');
    EXPECT_EQ(s.m_aSatellites[4].m_strPrn, "07");
    EXPECT_EQ(s.m_aSatellites[5].m_strPrn, "5");
    EXPECT_EQ(s.m_aSatellites[5].m_nStrength, 15);

    Feed("VS,09,30,1,10");  // second row left half updated
    EXPECT_EQ(s.m_aSatellites[0].m_strPrn, "09");
    EXPECT_EQ(s.m_aSatellites[1].m_strPrn, "10");
    EXPECT_EQ(s.m_aSatellites[1].m_nStrength, 40);

    Feed("MANG,10");
    EXPECT_EQ(s.m_nMaskAngle, 10);
}

// ---- disciplining -----------------------------------------------------------

TEST_F(ReplyHandlers, OscillatorTextsAndLegacyExponents)
{
    Feed("DACV,001000");
    Feed("DACP,002345");
    EXPECT_EQ(s.m_strDacValue, "002345");
    const std::pair<const char*, const char*> ef[] = {
        {"EF 12345-09", "1.2345E-09"}, {"EF -5-10", "-5.E-10"}, {"EF 12+03", "1.2+03"}};
    for (const auto& [body, text] : ef) {
        Feed(body);
        EXPECT_EQ(s.m_strFreqErrorEstimate, text) << body;
    }
    Feed("SD 25-08");
    EXPECT_EQ(s.m_strStdErrorEstimate, "2.5E-08");
    Feed("SD 12345-09");
    EXPECT_EQ(s.m_strStdErrorEstimate, "1.2345E-09");

    Feed("EF " + std::string(31, '7'));
    EXPECT_EQ(s.m_strFreqErrorEstimate, "7." + std::string(28, '7'));
    Feed("EF " + std::string(28, '1') + "-9");  // the 'E' would be the 30th character
    EXPECT_EQ(s.m_strFreqErrorEstimate.size(), 30u);
}

TEST_F(ReplyHandlers, SamplesRedrawOtherEstimatesDoNot)
{
    Feed("EFER,1.2E-11");
    Feed("ESSD,3.4E-12");
    Feed("ESTC,000042");
    Feed("TEMP,045.5");
    EXPECT_TRUE(m_host.m_log.empty());
    Feed("ESSN,000123");
    Feed("ES 000124");
    EXPECT_EQ(m_host.m_log, (Log{"invalidate", "invalidate"}));
    EXPECT_EQ(s.m_strFreqErrorEstimate, "1.2E-11");
    EXPECT_EQ(s.m_strStdErrorEstimate, "3.4E-12");
    EXPECT_EQ(s.m_strCyclesCompleted, "000042");
    EXPECT_EQ(s.m_strTemperature, "045.5");
    EXPECT_EQ(s.m_strSamplesInCycle, "000124");
}

// ---- configuration echoes and dialogs ---------------------------------------

TEST_F(ReplyHandlers, PulseAndSmallSettingEchoes)
{
    Feed("PULE,0");
    EXPECT_TRUE(s.m_bPulseAfterWarmup);
    Feed("PULE,1");
    EXPECT_FALSE(s.m_bPulseAfterWarmup);
    Feed("PULR,1");
    Feed("PULP,+");
    Feed("OFST,-1234567890123456789");
    Feed("PULW,0");
    EXPECT_TRUE(s.m_bPulseEverySecond);
    EXPECT_TRUE(s.m_bPulsePositive);
    EXPECT_STREQ(s.m_szPulseOffset.c_str(), "-1234567890");
    EXPECT_EQ(s.m_nPulseWidth, 0);
    Feed("ANTD,-000150");
    EXPECT_EQ(s.m_strAntennaDelay, "000150");
    Feed("ANT1,-000150");
    EXPECT_EQ(s.m_strAntennaDelay, "-000150");
    Feed("ID 000200");
    EXPECT_EQ(s.m_strAntennaDelay, "000200");
    Feed("BEEP,1");
    Feed("TODS,2");
    EXPECT_TRUE(s.m_bBeepEnabled);
    EXPECT_EQ(s.m_nTodRate, 2);
}

TEST_F(ReplyHandlers, GpsEngineChannels)
{
    m_program.Session().SetAboutDlg(&m_dlg);
    s.m_nProductType = PT_4;
    Feed("GPSE,T,12,X");
    EXPECT_EQ(s.m_chGpsEngineType, 'T');
    EXPECT_EQ(s.m_chGpsChannels, '8');
    Feed("GPSE,G,5,X");
    EXPECT_EQ(m_dlg.m_log, (Log{"channels [12]", "channels [ 8]"}));

    CUnitState fresh;
    s.m_chGpsChannels = fresh.m_chGpsChannels;
    Feed("GPSE,M");  // stops after the engine type
    EXPECT_EQ(s.m_chGpsEngineType, 'M');
    EXPECT_EQ(s.m_chGpsChannels, '5');

    s.m_strPartNumber = "512-6200-04";
    Feed("GPSE,G,5");
    EXPECT_EQ(s.m_chGpsEngineType, 'M');
    EXPECT_EQ(s.m_chGpsChannels, '8');
    EXPECT_EQ(m_dlg.m_log.back(), "channels [12]");
}

TEST_F(ReplyHandlers, VersionSetsAveragingHoursUntilModelTypeArrives)
{
    m_program.Session().SetAboutDlg(&m_dlg);
    s.m_nProductType = PT_16;
    Feed("VERS,X1.2.0.5,01/02/03,V3.1,P123-456");
    EXPECT_EQ(s.m_nAveragingHours, 24);
    EXPECT_EQ(s.m_strGpsVersion, "V3.1");
    EXPECT_EQ(m_dlg.m_log, (Log{"version X1.2.0.5", "fwpn P123-456", "gpsversion V3.1"}));
    Feed("MTYP,S");
    EXPECT_EQ(s.m_nAveragingHours, 1);

    m_dlg.m_log.clear();
    s.m_nProductType = PT_15;
    Feed("VERS,X1.3.0,01/02/03,xx,P999,word GPS 4.5");
    EXPECT_EQ(s.m_nAveragingHours, 1);
    EXPECT_EQ(s.m_strFirmwarePartNumber, "P999");
    EXPECT_EQ(s.m_strGpsVersion, "GPS 4.5");
    Feed("VERS,X1.2.0,01/02/03,xx,P111,word");  // short: stored so far, no box update
    EXPECT_EQ(s.m_nAveragingHours, 24);
    EXPECT_EQ(s.m_strFirmwarePartNumber, "P111");
    EXPECT_EQ(m_dlg.m_log.size(), 3u);
}

TEST_F(ReplyHandlers, EventTriggerPiecesRunTogether)
{
    Feed("EVTG,123,04,05,06,1234567,01,00,00,00,0.500000,1");
    EXPECT_EQ(s.m_strEventStart, "1230405061234567");
    EXPECT_EQ(s.m_strEventPeriod, "01000000");
    EXPECT_EQ(s.m_strEventWidth, "0500000");
    EXPECT_EQ(s.m_chEventInvert, '1');
    Feed("EVTG,123,04");  // goes on with empty pieces; invert untouched
    EXPECT_EQ(s.m_strEventStart, "12304");
    EXPECT_EQ(s.m_strEventPeriod, "");
    EXPECT_EQ(s.m_strEventWidth, "");
    EXPECT_EQ(s.m_chEventInvert, '1');
}

TEST_F(ReplyHandlers, DialogRepliesReachOnlyOpenDialogs)
{
    const char* bodies[] = {"EVTG,123,04,05,06,1234567,01,00,00,00,0.500000,0", "ROUT,A,3,1000,0,1", "TAGC",
                            "TAGM,W", "TAGT,001,123,04,05,06,1234567", "TAGL,002,124,,05"};
    for (const char* body : bodies) Feed(body);
    EXPECT_TRUE(m_dlg.m_log.empty());
    EXPECT_EQ(s.m_chTimeTagMode, 'W');

    OpenAllDialogs();
    s.m_chTimeTagMode = 0;
    for (const char* body : bodies) Feed(body);
    EXPECT_EQ(m_dlg.m_log, (Log{"start 1230405061234567", "period 01000000", "width 0500000", "invert off",
                                "rout A,3,1000,0,1", "clear", "mode W", "line 001) 123 04:05:06.1234567",
                                "line 002) 124 05::."}));
    EXPECT_EQ(s.m_chTimeTagMode, 0);
    EXPECT_TRUE(m_host.m_log.empty());
}

TEST_F(ReplyHandlers, UnknownTimeTagModeShowsTheBodyInAnErrorBox)
{
    m_program.Session().SetTimeTagDlg(&m_dlg);
    Feed("TAGM,X,junk");
    EXPECT_TRUE(m_dlg.m_log.empty());
    EXPECT_EQ(m_host.m_log, (Log{"sound hand", "box error \"TAGM,? response: Unknown mode\" \"TAGM,X,junk\""}));
    ASSERT_EQ(m_host.m_boxes.size(), 1u);
    EXPECT_EQ(m_host.m_boxes[0].m_owner, Owner::View);
    m_program.Session().SetTimeTagDlg(nullptr);
    Feed("TAGM,X");
    EXPECT_EQ(s.m_chTimeTagMode, 'X');
}

// ---- robustness -------------------------------------------------------------

// Every keyword with random field counts and contents, in random product and
// mode contexts, with dialogs open or closed: nothing may crash or overflow.
TEST_F(ReplyHandlers, RandomFieldsForEveryKeyword)
{
    std::size_t count = 0;
    const CKeywordEntry* table = KeywordTable(count);
    ASSERT_GT(count, 0u);
    const std::string pieces[] = {"",  "-", "+", " ", ".", "M", "\r", "-M", "99999999999999999999",
                                  "-99999999999999999999", "2147483647", "-2147483648", "1e999", "-1e-999", "1e300", "-4e38",
                                  "0x1p3", "nan", "123-09", "N037341234W117221234", "\xff\x80\xc3\xa9", "512-6200-03"};
    const int types[] = {PT_UNIDENTIFIED, PT_0, PT_4, PT_9, PT_11, PT_15, PT_16, PT_22, PT_25, 27, INT_MIN};
    const char modes[] = {'?', 'P', 'K', 'S', 'D'};
    std::mt19937 rng(20240607);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };

    for (std::size_t k = 0; k < count; ++k) {
        for (int round = 0; round < 150; ++round) {
            s.m_nProductType = types[pick(std::size(types))];
            s.m_chPositionMode = modes[pick(std::size(modes))];
            s.m_strPartNumber = pick(2) ? "512-6200-03" : "530-0000-01";
            if (pick(2)) OpenAllDialogs();
            else CloseAllDialogs();
            std::string body = table[k].m_pszKeyword;
            const std::size_t fields = pick(30);
            for (std::size_t f = 0; f < fields; ++f) {
                body += pick(4) ? ',' : ' ';
                if (pick(3)) {
                    body += pieces[pick(std::size(pieces))];
                } else {
                    for (std::size_t c = pick(12); c > 0; --c) body += static_cast<char>(rng() & 0xff);
                }
            }
            Feed(body);
            ASSERT_LE(s.m_szPulseOffset.size(), 11u);
            ASSERT_LE(s.m_szPulseStatus.size(), 3u);
            const std::string keyword = table[k].m_pszKeyword;
            if (keyword == "EF") {
                ASSERT_LE(s.m_strFreqErrorEstimate.size(), 30u) << Escape(body);
            }
            if (keyword == "SD") {
                ASSERT_LE(s.m_strStdErrorEstimate.size(), 30u) << Escape(body);
            }
        }
        m_device.ClearWritten();
        m_host.Clear();
        m_dlg.m_log.clear();
    }
}

}  // namespace
}  // namespace velmor
