// The three live setup dialogs (rate output, event trigger, time tag): the
// dispatcher writes the unit's replies into them while they are open, so the
// tests feed replies through the real dispatcher from inside the dialog.

#include <climits>
#include <random>

#include "SetupTestSupport.h"
#include "config/EventTriggerDlg.h"
#include "config/RateOutputDlg.h"
#include "config/SetupCommands.h"
#include "config/TimeTagDlg.h"

namespace velmor {
namespace {

class LiveDialogs : public CSetupTest {
protected:
    LiveDialogs() { m_program.Session().StateForTest().m_nProductType = PT_3; }
    void Reply(const std::string& body) { m_program.Session().DispatchSentence(body); }
};

TEST(RateOutputTable, EveryCodeMapsBackToItsListPosition)
{
    for (int position = 0; position < CRateOutputDlg::kRateCount; ++position)
        for (bool duty : {false, true})
            EXPECT_EQ(CRateOutputDlg::ListPosition(CRateOutputDlg::RateCode(position, duty)), position);
    for (int code = 0; code <= CRateOutputDlg::kMaxRateCode; ++code)
        EXPECT_GE(CRateOutputDlg::ListPosition(code), 0) << code;
    for (int code : {-1, 21, INT_MAX, INT_MIN}) EXPECT_EQ(CRateOutputDlg::ListPosition(code), -1);
    EXPECT_EQ(CRateOutputDlg::RateCode(-1, false), -1);
    EXPECT_EQ(CRateOutputDlg::RateCode(CRateOutputDlg::kRateCount, true), -1);
    EXPECT_EQ(CRateOutputDlg::RateCode(4, true), 5);
    EXPECT_EQ(CRateOutputDlg::RateCode(11, true), 18);
}

TEST_F(LiveDialogs, RateReplyFieldsAreSplitWithEmptyFieldsKept)
{
    OnDialog([&](CDialogModel& dlg) {
        auto& rate = dynamic_cast<CRateOutputDlg&>(dlg);
        const CControl& list = rate.Ctl(CRateOutputDlg::IDC_RATE_LIST);
        Reply("ROUT,A,0,1000,1,0");
        EXPECT_EQ(list.m_nSelection, 0);
        EXPECT_EQ(rate.Text(CRateOutputDlg::IDC_VALUE), "1000");
        EXPECT_TRUE(rate.IsChecked(CRateOutputDlg::IDC_INVERT));
        EXPECT_TRUE(rate.Ctl(CRateOutputDlg::IDC_VALUE_UNIT).m_bEnabled);
        // A value field that the unit sends empty must not shift the flags.
        Reply("ROUT,A,5,,0,1");
        EXPECT_EQ(list.m_nSelection, 4);
        EXPECT_EQ(rate.Text(CRateOutputDlg::IDC_VALUE), "");
        EXPECT_FALSE(rate.IsChecked(CRateOutputDlg::IDC_INVERT));
        EXPECT_TRUE(rate.IsChecked(CRateOutputDlg::IDC_DUTY));
        EXPECT_EQ(rate.BuildCommand(), "ROUT,A,5,,0,1");
        // Missing trailing fields count as empty: not inverted, "Pulse".
        Reply("ROUT,A,8");
        EXPECT_EQ(list.m_nSelection, 6);
        EXPECT_TRUE(rate.IsChecked(CRateOutputDlg::IDC_PULSE));
        EXPECT_EQ(rate.BuildCommand(), "ROUT,A,8,,0,0");
        // A code without digits is unknown, not "Programmable".
        for (const char* body : {"ROUT,A,x,5,0,0", "ROUT,A,,5,0,0", "ROUT,A,-3,,0,0", "ROUT,A,99999999999,,0,0"}) {
            Reply("ROUT,A,0,5,0,0");
            Reply(body);
            EXPECT_EQ(list.m_nSelection, -1) << body;
            EXPECT_FALSE(rate.Ctl(CRateOutputDlg::IDC_VALUE).m_bEnabled) << body;
            EXPECT_FALSE(rate.Ctl(CRateOutputDlg::IDC_PULSE).m_bEnabled) << body;
            EXPECT_EQ(rate.BuildCommand(), "") << body;
        }
        // Lower-case or longer letters are another output.
        Reply("ROUT,A,1,,0,0");
        Reply("ROUT,a,3,,0,0");
        Reply("ROUT,AB,3,,0,0");
        EXPECT_EQ(list.m_nSelection, 1);
        dlg.PressEscape();
    });
    OnSetupRateOutput(m_program);
}

TEST_F(LiveDialogs, ChoosingARateEnablesWhatItUsesAndValueIsCutToTwelve)
{
    OnDialog([&](CDialogModel& dlg) {
        auto& rate = dynamic_cast<CRateOutputDlg&>(dlg);
        rate.Select(CRateOutputDlg::IDC_RATE_LIST, 0);
        EXPECT_TRUE(rate.Ctl(CRateOutputDlg::IDC_VALUE).m_bEnabled);
        EXPECT_FALSE(rate.Ctl(CRateOutputDlg::IDC_DUTY).m_bEnabled);
        rate.SetText(CRateOutputDlg::IDC_VALUE, "12345678901234");
        rate.Click(CRateOutputDlg::IDC_DIVIDE);
        rate.Click(CRateOutputDlg::IDC_RATE_B);
        m_device.ClearWritten();
        rate.Click(CRateOutputDlg::IDC_APPLY);
        EXPECT_EQ(Sent(), (Bodies{"ROUT,B,0,123456789012,0,1"}));
        rate.Select(CRateOutputDlg::IDC_RATE_LIST, 10);
        EXPECT_TRUE(rate.Ctl(CRateOutputDlg::IDC_DUTY).m_bEnabled);
        EXPECT_FALSE(rate.Ctl(CRateOutputDlg::IDC_VALUE).m_bEnabled);
        dlg.CloseBox();
    });
    OnSetupRateOutput(m_program);
}

TEST_F(LiveDialogs, EveryWayOfClosingUnregistersEveryLiveDialog)
{
    using Close = std::function<void(CDialogModel&)>;
    const std::vector<Close> closers = {
        [](CDialogModel& d) { d.PressEnter(); },
        [](CDialogModel& d) { d.PressEscape(); },
        [](CDialogModel& d) { d.CloseBox(); },
        [](CDialogModel&) {},  // left open: the host ends it
    };
    for (const Close& close : closers) {
        OnDialog([&](CDialogModel& d) {
            EXPECT_NE(m_program.Session().RateOutputDlg(), nullptr);
            close(d);
        });
        OnSetupRateOutput(m_program);
        EXPECT_EQ(m_program.Session().RateOutputDlg(), nullptr);
        OnDialog([&](CDialogModel& d) {
            EXPECT_NE(m_program.Session().EventTriggerDlg(), nullptr);
            close(d);
        });
        OnSetupEventTrigger(m_program);
        EXPECT_EQ(m_program.Session().EventTriggerDlg(), nullptr);
        OnDialog([&](CDialogModel& d) {
            EXPECT_NE(m_program.Session().TimeTagDlg(), nullptr);
            close(d);
        });
        m_device.ClearWritten();
        OnSetupTimeTag(m_program);
        EXPECT_EQ(m_program.Session().TimeTagDlg(), nullptr);
        // The subscription ends exactly once, before polling is reset.
        const Bodies sent = Sent();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "UNSL,TAGL,0"), 1);
        // Replies after closing reach no dialog (ASan would catch a dangling one).
        for (const char* body : {"ROUT,A,1,,0,0", "EVTG,1,2,3,4,5,6,7,8,9,0.1,1", "TAGT,1,2,3,4,5,6", "TAGC"})
            Reply(body);
    }
}

TEST_F(LiveDialogs, EventCommandKeepsFieldOrderWhenSeparatorsAreMissing)
{
    OnDialog([&](CDialogModel& dlg) {
        auto& event = dynamic_cast<CEventTriggerDlg&>(dlg);
        // The state was empty: the fields hold only prompts and separators.
        event.BuildCommand();
        EXPECT_EQ(event.m_strCommand, "EVTG,   ,  ,  ,  ,       ,  ,  ,  ,  , .      ,0");
        // A front end without the masks could hand over texts without them.
        CControl& start = event.Ctl(CEventTriggerDlg::IDC_START);
        CControl& period = event.Ctl(CEventTriggerDlg::IDC_PERIOD);
        CControl& width = event.Ctl(CEventTriggerDlg::IDC_WIDTH);
        start.m_pMask.reset();
        period.m_pMask.reset();
        width.m_pMask.reset();
        start.m_strValue = "123:04";
        period.m_strValue = "";
        width.m_strValue = "0.5,9";
        event.BuildCommand();
        EXPECT_EQ(event.m_strCommand, "EVTG,123,04,,,,,,,,0.5,0");
        start.m_strValue = "123:04:05:06.7:8";
        period.m_strValue = "01.5";
        event.BuildCommand();
        EXPECT_EQ(event.m_strCommand, "EVTG,123,04,05,06,7:8,01.5,,,,0.5,0");
        start.m_strValue = std::string(40, '9');
        event.BuildCommand();
        EXPECT_EQ(event.m_strCommand, "EVTG," + std::string(24, '9') + ",,,,,01.5,,,,0.5,0");
        dlg.PressEscape();
    });
    OnSetupEventTrigger(m_program);
}

TEST_F(LiveDialogs, EventTriggerOnOtherTypesSendsWithoutTouchingPolling)
{
    m_program.Session().StateForTest().m_nProductType = PT_4;
    m_program.Session().StateForTest().m_strEventStart = "1230405065000000";
    m_program.Session().StateForTest().m_strEventPeriod = "00000100";
    m_program.Session().StateForTest().m_strEventWidth = "0000100";
    m_program.Session().StateForTest().m_chEventInvert = '1';
    m_host.m_dialogAnswers = {true};
    OnSetupEventTrigger(m_program);
    EXPECT_EQ(Sent(), (Bodies{"EVTG,123,04,05,06,5000000,00,00,01,00,0.000100,1"}));
    EXPECT_TRUE(m_program.Session().IsPolling());
}

TEST_F(LiveDialogs, TimeTagListShowsNewestAndModeReplyEnablesButtons)
{
    OnDialog([&](CDialogModel& dlg) {
        auto& tags = dynamic_cast<CTimeTagDlg&>(dlg);
        const CControl& list = tags.Ctl(CTimeTagDlg::IDC_TAG_LIST);
        EXPECT_FALSE(tags.Ctl(CTimeTagDlg::IDC_BURST).m_bEnabled);
        Reply("TAGT,001,123,04,05,06,1234567");
        Reply("TAGL,002,123,04,05,07,1234567");
        ASSERT_EQ(list.m_items.size(), 2u);
        EXPECT_EQ(list.m_items[0], "001) 123 04:05:06.1234567");
        EXPECT_EQ(list.m_nSelection, 1);
        Reply("TAGM,B");
        EXPECT_TRUE(tags.Ctl(CTimeTagDlg::IDC_WRAP).m_bEnabled);
        EXPECT_TRUE(tags.IsChecked(CTimeTagDlg::IDC_BURST));
        tags.Click(CTimeTagDlg::IDC_RELOAD);
        EXPECT_TRUE(list.m_items.empty());
        EXPECT_EQ(list.m_nSelection, -1);
        dlg.PressEnter();
    });
    OnSetupTimeTag(m_program);
    // The open dialog took the mode; the unit state did not.
    EXPECT_EQ(m_program.Session().State().m_chTimeTagMode, 0);
    const Bodies sent = Sent();
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ((Bodies{sent.begin(), sent.begin() + 6}),
              (Bodies{"TAGM", "UNSL,TAGL,1", "TAGT", "TAGT", "UNSL,TAGL,0", "UNSL,XXXX,1"}));
}

TEST_F(LiveDialogs, RandomRepliesIntoOpenDialogsNeverBreakThem)
{
    std::mt19937 random(7);
    const std::string alphabet = "AB,0123456789.:-x ";
    auto body = [&](const char* keyword) {
        std::string text = keyword;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
        return text;
    };
    OnDialog([&](CDialogModel& dlg) {
        for (int i = 0; i < 300; ++i) Reply(body("ROUT,"));
        dlg.Click(CRateOutputDlg::IDC_APPLY);
        dlg.PressEscape();
    });
    OnSetupRateOutput(m_program);
    OnDialog([&](CDialogModel& dlg) {
        for (int i = 0; i < 300; ++i) Reply(body("EVTG,"));
        auto& event = dynamic_cast<CEventTriggerDlg&>(dlg);
        event.BuildCommand();
        EXPECT_EQ(std::count(event.m_strCommand.begin(), event.m_strCommand.end(), ','), 11);
        dlg.PressEscape();
    });
    OnSetupEventTrigger(m_program);
    OnDialog([&](CDialogModel& dlg) {
        for (int i = 0; i < 300; ++i) Reply(body(i % 2 ? "TAGT," : "TAGL,"));
        dlg.PressEscape();
    });
    OnSetupTimeTag(m_program);
}

}  // namespace
}  // namespace velmor
