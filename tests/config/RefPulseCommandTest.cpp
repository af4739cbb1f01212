#include "config/RefPulseDlg.h"
#include "config/SetupCommands.h"
#include "config/SetupTestSupport.h"

namespace velmor {
namespace {

const std::vector<std::string> kQueries = {"$$pule*\r\n*\r\n", "$$pulr*\r\n*\r\n", "$$pulp*\r\n*\r\n",
                                           "$$ofst*\r\n*\r\n", "$$pulw*\r\n*\r\n"};

class RefPulseTest : public CSetupTest {
protected:
    RefPulseTest()
    {
        CUnitState& s = m_program.Session().StateForTest();
        s.m_nProductType = s.m_nReportedProductType = 16;
        s.m_strPartNumber = "600-1000";
        s.m_bPulseAfterWarmup = true;
        s.m_bPulseEverySecond = true;
        s.m_bPulsePositive = false;
        s.m_szPulseOffset = "-120";
        s.m_szPulseWidth = "250";
        s.m_nPulseWidth = 250;
    }
    std::vector<std::string> SetWrites() const
    {
        const auto& w = m_device.Writes();
        return w.size() <= kQueries.size() ? std::vector<std::string>()
                                           : std::vector<std::string>(w.begin() + 5, w.end());
    }
};

TEST_F(RefPulseTest, QueriesOnlyForExcludedUnits)
{
    m_program.Session().StateForTest().m_strPartNumber = "524-0001";
    OnSetupRefPulse(m_program);
    EXPECT_EQ(m_device.Writes(), kQueries);
    EXPECT_TRUE(m_host.Lines("dialog").empty());

    m_device.ClearWritten();
    m_program.Session().StateForTest().m_strPartNumber = "600-1000";
    m_program.Session().StateForTest().m_nProductType = 0;
    OnSetupRefPulse(m_program);
    EXPECT_EQ(m_device.Writes(), kQueries);
    EXPECT_TRUE(m_host.Lines("dialog").empty());
    EXPECT_TRUE(m_program.Session().IsPolling());
}

TEST_F(RefPulseTest, OkSendsTheFiveSetCommandsInWireForm)
{
    OnDialog([](CDialogModel& dlg) {
        EXPECT_TRUE(dlg.IsChecked(CRefPulseDlg::IDC_AFTER_WARMUP));
        EXPECT_TRUE(dlg.IsChecked(CRefPulseDlg::IDC_INVERTED));
        EXPECT_TRUE(dlg.IsChecked(CRefPulseDlg::IDC_WIDTH_USER));
        EXPECT_EQ(dlg.Text(CRefPulseDlg::IDC_USER_WIDTH), "250");
        EXPECT_EQ(dlg.Text(CRefPulseDlg::IDC_OFFSET), "-120");
        Click(dlg, "20 ns");
        EXPECT_FALSE(dlg.Ctl(CRefPulseDlg::IDC_USER_WIDTH).m_bEnabled);
        EXPECT_EQ(dlg.Text(CRefPulseDlg::IDC_USER_WIDTH), "");
        Click(dlg, "OK");
    });
    OnSetupRefPulse(m_program);
    EXPECT_EQ(SetWrites(), (std::vector<std::string>{"$$pule,0*\r\n*\r\n", "$$pulr,1*\r\n*\r\n",
                                                     "$$pulp,-*\r\n*\r\n", "$$ofst,-120**\r\n",
                                                     "$$pulw,-2**\r\n"}));

    // An empty offset goes out as an empty value; user width restored.
    m_device.ClearWritten();
    OnDialog([](CDialogModel& dlg) {
        Click(dlg, "10 ns");
        Click(dlg, "User defiened");
        EXPECT_EQ(dlg.Text(CRefPulseDlg::IDC_USER_WIDTH), "250");
        Click(dlg, "Always");
        Click(dlg, "1PP2S (Every Even Second)");
        Click(dlg, "Normal (+Edge on-time)");
        Set(dlg, "ns", "");
        Click(dlg, "OK");
    });
    OnSetupRefPulse(m_program);
    EXPECT_EQ(SetWrites(), (std::vector<std::string>{"$$pule,1*\r\n*\r\n", "$$pulr,2*\r\n*\r\n",
                                                     "$$pulp,+*\r\n*\r\n", "$$ofst,**\r\n", "$$pulw,250**\r\n"}));
}

TEST_F(RefPulseTest, TypingChecksWarnOnly)
{
    OnDialog([](CDialogModel& dlg) {
        Set(dlg, "ns", "+123");   // accepted
        Set(dlg, "ns", "12-3");   // sign after the first character
        Set(dlg, "ns", "-99999"); // accepted
        Set(dlg, "ms", "0");      // passes while typing
        Set(dlg, "ms", "-1");     // no minus here
        Set(dlg, "ms", "+999");   // accepted
        Click(dlg, "Cancel");
    });
    OnSetupRefPulse(m_program);
    EXPECT_EQ(m_host.Lines("box"),
              (std::vector<std::string>{"box error \"Offset Entry Error\" \"Value must between -99999 to +99999\"",
                                        "box error \"Pulse Width Entry Error\" \"Value must between 0 to 999\""}));
    EXPECT_EQ(m_host.Lines("sound").size(), 2u);
    EXPECT_EQ(m_device.Writes(), kQueries);
}

TEST_F(RefPulseTest, OkRefusesWidthZeroAndLargeOffset)
{
    OnDialog([](CDialogModel& dlg) {
        Set(dlg, "ms", "0");
        Click(dlg, "OK");
        EXPECT_FALSE(dlg.IsEnded());
        Set(dlg, "ms", "5");
        dlg.Ctl(CRefPulseDlg::IDC_OFFSET).m_strValue = "1000000";
        Click(dlg, "OK");
        EXPECT_FALSE(dlg.IsEnded());
        Set(dlg, "ns", "+77");
        Click(dlg, "OK");
    });
    OnSetupRefPulse(m_program);
    const auto boxes = m_host.Lines("box");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "box error \"Pulse Width Entry Error\" \"Value must between 1 to 999\"");
    EXPECT_EQ(boxes[1], "box error \"Offset Entry Error\" \"Value must between -99999 to +99999\"");
    const auto sets = SetWrites();
    ASSERT_EQ(sets.size(), 5u);
    EXPECT_EQ(sets[3], "$$ofst,+77**\r\n");
    EXPECT_EQ(sets[4], "$$pulw,5**\r\n");
}

}  // namespace
}  // namespace velmor
