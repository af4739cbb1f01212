// DAC value, mask angle and time-of-day rate: the checks and command forms
// that the golden sessions do not reach.

#include <climits>

#include "SetupTestSupport.h"
#include "config/DacValueDlg.h"
#include "config/MaskAngleDlg.h"
#include "config/SetupCommands.h"
#include "config/TodRateDlg.h"

namespace velmor {
namespace {

class SmallSettings : public CSetupTest {};

TEST(DacValueField, OnlyNonNegativeIntegersAreRead)
{
    unsigned value = 99;
    EXPECT_TRUE(ReadNonNegativeInteger("0", value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(ReadNonNegativeInteger(" +0012 ", value));
    EXPECT_EQ(value, 12u);
    EXPECT_TRUE(ReadNonNegativeInteger("4294967295", value));
    EXPECT_EQ(value, 4294967295u);
    value = 7;
    for (const char* text : {"", " ", "-5", "-0", "+", "12a", "1 2", "0x10", "4294967296", "99999999999999999999"})
        EXPECT_FALSE(ReadNonNegativeInteger(text, value)) << text;
    EXPECT_EQ(value, 7u);
}

TEST_F(SmallSettings, DacKeywordFollowsTheReportedTypeNotTheEffectiveOne)
{
    // The effective type stays 11 throughout; only the reported one decides.
    for (int reported : {PT_0, PT_3, PT_11, PT_4, PT_12, PT_22}) {
        m_program.Session().StateForTest().m_nProductType = PT_11;
        m_program.Session().StateForTest().m_nReportedProductType = reported;
        m_program.Session().StateForTest().m_strDacValue = "-00012x";
        OnDialog([&](CDialogModel& dlg) {
            EXPECT_EQ(dlg.Text(CDacValueDlg::IDC_VALUE), "-12");
            // The value in the unit state is negative: "&Exit" refuses it.
            dlg.PressEnter();
            EXPECT_FALSE(dlg.IsEnded());
            Set(dlg, "DAC value", "32768");
            Click(dlg, "Set");
            dlg.PressEnter();
            EXPECT_TRUE(dlg.IsEnded());
        });
        m_device.ClearWritten();
        m_host.Clear();
        OnSetupDacValue(m_program);
        const bool dacv = reported == PT_0 || reported == PT_3 || reported == PT_11;
        EXPECT_EQ(Sent(), (Bodies{dacv ? "DACV,032768" : "DACP,032768"})) << reported;
        EXPECT_EQ(m_host.Lines("box").size(), 1u);
    }
}

TEST_F(SmallSettings, MaskAngleReadsLenientlyAndClampsOnlyTheMirelleTypes)
{
    struct Case {
        int m_nType;
        const char* m_pszEntry;
        const char* m_pszSent;
        std::size_t m_nBoxes;
    };
    const Case cases[] = {
        {PT_16, "abc", "MANG,5", 1},        // no digits reads as 0
        {PT_16, "-2147483648", "MANG,5", 1},
        {PT_15, "90", "MANG,90", 0},
        {PT_15, "5", "MANG,5", 0},
        {PT_5, "-3", "MANG,-3", 0},          // no check for other types
        {PT_25, "12345678", "MANG,1234567", 0},  // the field keeps seven characters
    };
    for (const Case& c : cases) {
        m_program.Session().StateForTest().m_nProductType = c.m_nType;
        m_program.Session().StateForTest().m_nReportedProductType = c.m_nType;
        m_program.Session().StateForTest().m_strPartNumber = "123-456";
        OnDialog([&](CDialogModel& dlg) {
            Set(dlg, "Mask Angle", c.m_pszEntry);
            dlg.PressEnter();
        });
        m_device.ClearWritten();
        m_host.Clear();
        OnSetupMaskAngle(m_program);
        EXPECT_EQ(Sent(), (Bodies{c.m_pszSent})) << c.m_pszEntry;
        EXPECT_EQ(m_host.Lines("box").size(), c.m_nBoxes) << c.m_pszEntry;
    }
    for (const char* part : {"518-1", "530-2"}) {
        m_program.Session().StateForTest().m_strPartNumber = part;
        m_program.Session().StateForTest().m_nProductType = PT_4;
        OnDialog([&](CDialogModel& dlg) {
            Set(dlg, "Mask Angle", "12");
            dlg.PressEnter();
        });
        m_device.ClearWritten();
        OnSetupMaskAngle(m_program);
        EXPECT_EQ(Sent(), (Bodies{"MAG1,12"})) << part;
        EXPECT_EQ(m_program.Session().State().m_nMaskAngle, 12);
    }
}

TEST_F(SmallSettings, TodRateOutsideTheListOpensWithoutSelection)
{
    m_program.Session().StateForTest().m_nProductType = PT_9;
    for (int rate : {INT_MIN, -1, 3, INT_MAX}) {
        m_program.Session().StateForTest().m_nTodRate = rate;
        OnDialog([&](CDialogModel& dlg) {
            EXPECT_EQ(dlg.Ctl(CTodRateDlg::IDC_RATE).m_nSelection, -1) << rate;
            dlg.PressEnter();
            EXPECT_FALSE(dlg.IsEnded());
            dlg.PressEscape();
        });
        m_device.ClearWritten();
        OnSetupTodType(m_program);
        EXPECT_TRUE(Sent().empty());
        EXPECT_EQ(m_program.Session().State().m_nTodRate, rate);
    }
    m_program.Session().StateForTest().m_nTodRate = 0;
    OnDialog([&](CDialogModel& dlg) {
        EXPECT_EQ(dlg.Ctl(CTodRateDlg::IDC_RATE).m_nSelection, 0);
        dlg.PressEnter();
    });
    m_device.ClearWritten();
    OnSetupTodType(m_program);
    EXPECT_EQ(Sent(), (Bodies{"TODS,1"}));
}

TEST_F(SmallSettings, HandlersIgnoreTypesTheirMenuItemExcludes)
{
    // A command reached some other way than the enabled menu item does nothing.
    m_program.Session().StateForTest().m_nProductType = PT_16;
    m_program.Session().StateForTest().m_nReportedProductType = PT_16;
    m_host.m_dialogAnswers = {true, true, true};
    OnSetupDacValue(m_program);
    OnSetupBeep(m_program);
    OnSetupTodType(m_program);
    m_program.Session().StateForTest().m_nProductType = PT_0;
    OnSetupMaskAngle(m_program);
    m_program.Session().StateForTest().m_nReportedProductType = PT_4;
    OnSetupPreset1(m_program);
    OnSetupPreset2(m_program);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(m_host.m_log.empty());
}

}  // namespace
}  // namespace velmor
