#include "config/ModeDlg.h"

#include "config/ManualTimeDlg.h"
#include "config/SetupCommands.h"
#include "config/SetupTestSupport.h"

namespace velmor {
namespace {

const Bodies kRestart = {"PRID", "PRID", "GPSE"};

Bodies Join(std::initializer_list<Bodies> parts)
{
    Bodies all;
    for (const Bodies& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

class ModeCommandTest : public CSetupTest {
protected:
    void Unit(int type, int reported, char timeMode, const char* hours, const char* minutes, char positionMode)
    {
        CUnitState& s = m_program.Session().StateForTest();
        s.m_nProductType = type;
        s.m_nReportedProductType = reported;
        s.m_chTimeMode = timeMode;
        s.m_strLocalOffsetHours = hours;
        s.m_strLocalOffsetMinutes = minutes;
        s.m_chPositionMode = positionMode;
    }
    void RunOk(std::function<void(CDialogModel&)> actions = {})
    {
        OnDialog([actions](CDialogModel& dlg) {
            if (actions) actions(dlg);
            if (!dlg.IsEnded()) Click(dlg, "OK");
        });
        OnSetupMode(m_program);
    }
};

TEST_F(ModeCommandTest, TrmoFamilySendsOnlyWhatChanged)
{
    // Nothing changed: neither TIMM nor TRMO, only the stop and restart.
    Unit(16, 16, '3', "+05", "00", 'K');
    RunOk();
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1"}, kRestart}));
    EXPECT_TRUE(m_program.Session().IsPolling());

    // Minutes only, 0 to 30: the same command twice, hours then minutes.
    m_device.ClearWritten();
    RunOk([](CDialogModel& dlg) { dlg.Select(CModeDlg::IDC_MINUTES, 1); });
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "TIMM,3,005,30", "TIMM,3,005,30"}, kRestart}));

    // Position averaging on a type 16: the TRMO query, the subscriptions, the command.
    m_device.ClearWritten();
    RunOk([](CDialogModel& dlg) { Click(dlg, "&Position Averaging"); });
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "TRMO", "UNSL,TRMO,1", "UNSL,SPOS,1", "TRMO,P"}, kRestart}));
    EXPECT_EQ(m_program.Session().State().m_chSubscribedPositionMode, 'P');
}

TEST_F(ModeCommandTest, TimeScaleBodiesPerReportedType)
{
    struct Case {
        int type, reported;
        const char* hours;
        int minuteItem;
        const char* expected;
    } cases[] = {
        {16, 16, "-5", 1, "TIMM,4,-05,-30"},  // negative hours sign the minutes too
        {16, 16, "5", 1, "TIMM,4,005,30"},
        {11, 11, "-5", 1, "TIMM,4,-05,30"},   // type 11 never signs the minutes
        {11, 0, "5", -1, "TIMM,4,05"},        // the emulated model: short form
        {0, 0, "-12", -1, "TIMM,4,-12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        m_device.ClearWritten();
        Unit(c.type, c.reported, '1', "+00", "00", 'K');
        RunOk([&](CDialogModel& dlg) {
            Click(dlg, "&LGPS");
            Set(dlg, "Local Offset", c.hours);
            if (c.minuteItem >= 0) dlg.Select(CModeDlg::IDC_MINUTES, c.minuteItem);
        });
        EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", c.expected, c.expected}, kRestart}));
    }
}

TEST_F(ModeCommandTest, OpeningStateFollowsTimeModeAndReportedType)
{
    // The emulated model in LUTC: offset shown, minutes list and label off.
    Unit(11, 0, 'u', "-05", "30", 'S');
    OnDialog([](CDialogModel& dlg) {
        EXPECT_TRUE(dlg.IsChecked(CModeDlg::IDC_LUTC));
        EXPECT_TRUE(dlg.Ctl(CModeDlg::IDC_HOURS).m_bEnabled);
        EXPECT_EQ(dlg.Text(CModeDlg::IDC_HOURS), "-5");
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_MINUTES).m_bEnabled);
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_MIN_LABEL).m_bEnabled);
        EXPECT_EQ(dlg.Ctl(CModeDlg::IDC_MINUTES).m_nSelection, -1);
        EXPECT_TRUE(dlg.IsChecked(CModeDlg::IDC_AVERAGING));
        // GPS switches the offset off, LGPS on again; the list then comes
        // back but its label only for types with minute offsets.
        Click(dlg, "&GPS");
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_HOURS).m_bEnabled);
        Click(dlg, "&LGPS");
        EXPECT_TRUE(dlg.Ctl(CModeDlg::IDC_MINUTES).m_bEnabled);
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_MIN_LABEL).m_bEnabled);
        dlg.PressEscape();
    });
    OnSetupMode(m_program);

    // Types 15 and 16 cannot choose manual time or dynamic mode.
    Unit(15, 15, 'U', "+03", "30", 'D');
    OnDialog([](CDialogModel& dlg) {
        EXPECT_TRUE(dlg.IsChecked(CModeDlg::IDC_UTC));
        EXPECT_EQ(dlg.Text(CModeDlg::IDC_HOURS), "0");
        EXPECT_EQ(dlg.Ctl(CModeDlg::IDC_MINUTES).m_nSelection, 0);
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_MANUAL).m_bEnabled);
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_DYNAMIC).m_bEnabled);
        EXPECT_TRUE(dlg.IsChecked(CModeDlg::IDC_DYNAMIC));
        dlg.PressEscape();
    });
    OnSetupMode(m_program);
}

TEST_F(ModeCommandTest, Tmd1FamilySendsOnEveryOk)
{
    Unit(4, 4, 'G', "+00", "00", 'K');
    RunOk();
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "TMD1,G", "PMD1,K"}, kRestart}));
    EXPECT_EQ(m_program.Session().State().m_chSubscribedPositionMode, 'K');

    m_device.ClearWritten();
    RunOk([](CDialogModel& dlg) {
        Click(dlg, "&LUTC");
        Click(dlg, "&Position Averaging");
    });
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "PMD1,P", "UNSL,POS1,0", "UNSL,PAVG,1"}, kRestart}));

    Unit(1, 1, '2', "+00", "00", 'P');
    m_device.ClearWritten();
    RunOk();
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "TMD1,U", "PMD1,P", "UNSL,SPOS,0", "UNSL,PAVG,1"}, kRestart}));
}

TEST_F(ModeCommandTest, LegacyFamilyComparesWithTheSubscribedMode)
{
    Unit(9, 9, '1', "+00", "00", 'D');
    m_program.Session().StateForTest().m_chSubscribedPositionMode = 'S';
    RunOk([](CDialogModel& dlg) {
        Click(dlg, "&LUTC");
        Set(dlg, "Local Offset", "3");
        dlg.Select(CModeDlg::IDC_MINUTES, 1);
        Click(dlg, "&Position Averaging");
    });
    // Position averaging is survey ('S') here, already subscribed: no ETRS.
    const Bodies expected = {"TIMM,3,003,30", "TMD1", "TIMM"};
    Bodies sent = Sent();
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(Bodies(sent.begin() + 1, sent.begin() + 4), expected);
    EXPECT_EQ(sent.size(), 4u + kRestart.size());
    // Legacy sentences end with CR only.
    EXPECT_EQ(m_device.Writes()[1], "$TIMM,3,003,30*\r");

    m_device.ClearWritten();
    RunOk([](CDialogModel& dlg) { Click(dlg, "&Known"); });
    sent = Sent();
    // The time scale goes out on every OK here.
    EXPECT_EQ(Bodies(sent.begin() + 1, sent.begin() + 6),
              (Bodies{"TIMM,1", "UNSL,EL,1", "UNSL,LL,1", "UNSL,PAVG,0", "ETRK"}));
}

TEST_F(ModeCommandTest, ColdStartConfirmedSendsNoModeCommands)
{
    Unit(16, 16, '1', "+00", "00", 'K');
    m_host.m_boxAnswers.push_back(Answer::Ok);
    RunOk([](CDialogModel& dlg) {
        Click(dlg, "&UTC");
        Click(dlg, "&Cold Start");
    });
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "RSTG,C", "UNSL,XXXX,1"}, kRestart}));
    EXPECT_FALSE(m_program.Session().LinkForTest().m_bColdStartPending);
    EXPECT_EQ(m_host.Lines("box"),
              (std::vector<std::string>{"box warning \"GPS Cold Start Warning!\" "
                                        "\"Cold Start will take about 20 minutes.  Proceed?\" okcancel"}));
    EXPECT_EQ(m_host.Lines("notice"),
              (std::vector<std::string>{"notice \"Cold Start\" \"Activate Cold Start on GPS.....\" 1"}));

    // Declined: the mode commands go out instead.
    m_device.ClearWritten();
    m_host.m_boxAnswers.push_back(Answer::Cancel);
    RunOk([](CDialogModel& dlg) {
        Click(dlg, "&UTC");
        Click(dlg, "&Cold Start");
    });
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "TIMM,2,00", "TIMM,2,00"}, kRestart}));
}

TEST_F(ModeCommandTest, LegacyColdStartIsRc)
{
    Unit(9, 9, '1', "+00", "00", 'D');
    m_host.m_boxAnswers.push_back(Answer::Ok);
    RunOk([](CDialogModel& dlg) { Click(dlg, "&Cold Start"); });
    ASSERT_GE(m_device.Writes().size(), 2u);
    EXPECT_EQ(m_device.Writes()[1], "$RC*\r");
}

TEST_F(ModeCommandTest, HoursOutOfRangeWarnOnLeavingAndRefuseOk)
{
    Unit(16, 16, '3', "+05", "00", 'K');
    OnDialog([](CDialogModel& dlg) {
        Set(dlg, "Local Offset", "15");
        dlg.LeaveField(CModeDlg::IDC_HOURS);
        EXPECT_EQ(dlg.Ctl(CModeDlg::IDC_HOURS_SPIN).m_strValue, "14");
        Click(dlg, "OK");
        EXPECT_FALSE(dlg.IsEnded());
        Set(dlg, "Local Offset", "x1");
        Click(dlg, "OK");
        EXPECT_FALSE(dlg.IsEnded());
        // The spin steps from what the field shows and stays in range.
        Set(dlg, "Local Offset", "14");
        dlg.OnSpin(CModeDlg::IDC_HOURS_SPIN, +1);
        EXPECT_EQ(dlg.Text(CModeDlg::IDC_HOURS), "14");
        dlg.OnSpin(CModeDlg::IDC_HOURS_SPIN, -1);
        EXPECT_EQ(dlg.Text(CModeDlg::IDC_HOURS), "13");
        Click(dlg, "Cancel");
    });
    OnSetupMode(m_program);
    EXPECT_EQ(m_host.Lines("sound"), (std::vector<std::string>{"sound exclamation", "sound hand", "sound hand"}));
    const auto boxes = m_host.Lines("box");
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0],
              "box error \"Local Offset Entry Error!!\" \"Value must between -14 to +14\\r\\nBad entry:    15\"");
    EXPECT_NE(boxes[1].find("\"Please enter an integer between -14 and 14.\""), std::string::npos);
    EXPECT_NE(boxes[2].find("\"Please enter an integer.\""), std::string::npos);
    // Cancelled: reopen, restart, and query the time mode back; type 16
    // gets no position-mode query.
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1"}, kRestart, {"TIMM"}}));
}

TEST_F(ModeCommandTest, ManualTimeGoesOutWhileTheDialogIsOpen)
{
    Unit(0, 0, '1', "+00", "00", 'K');
    OnDialog([this](CDialogModel& dlg) {
        if (dlg.m_strCaption == "Manual Time Dialog") {
            EXPECT_EQ(dlg.Text(CManualTimeDlg::IDC_MANUAL_TEXT), "1999,12,31,23,59,00");
            Click(dlg, "OK");
            return;
        }
        Click(dlg, "&Manual");
        EXPECT_EQ(Sent().back(), "MANM,1,1999,12,31,23,59,00");
        EXPECT_FALSE(dlg.Ctl(CModeDlg::IDC_HOURS).m_bEnabled);
        Click(dlg, "OK");
    });
    OnSetupMode(m_program);
    // Manual time sends no TIMM afterwards.
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1", "MANM,1,1999,12,31,23,59,00"}, kRestart}));
}

TEST_F(ModeCommandTest, CancelQueriesTheModesBack)
{
    Unit(0, 0, '1', "+00", "00", 'K');
    OnDialog([](CDialogModel& dlg) { dlg.CloseBox(); });
    OnSetupMode(m_program);
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1"}, kRestart, {"TIMM", "TRMO"}}));
    Unit(27, 27, '1', "+00", "00", 'K');
    m_device.ClearWritten();
    OnSetupMode(m_program);
    EXPECT_EQ(Sent(), Join({{"UNSL,XXXX,1"}, kRestart, {"TIMM", "PMD1"}}));
}

TEST_F(ModeCommandTest, CancelWithoutPollingSendsNothing)
{
    m_program.Session().StopPolling();
    m_device.ClearWritten();
    Unit(4, 4, '1', "+00", "00", 'K');
    OnDialog([](CDialogModel& dlg) { dlg.PressEscape(); });
    OnSetupMode(m_program);
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(m_program.Session().IsPolling());
}

}  // namespace
}  // namespace velmor
