#include "config/AntennaDelayDlg.h"
#include "config/AntennaPositionDlg.h"
#include "config/SetupCommands.h"
#include "config/SetupTestSupport.h"

namespace velmor {
namespace {

const Bodies kRestart = {"PRID", "PRID", "GPSE"};

class AntennaTest : public CSetupTest {
protected:
    void Type(int type, const char* partNumber = "")
    {
        m_program.Session().StateForTest().m_nProductType = type;
        m_program.Session().StateForTest().m_nReportedProductType = type;
        m_program.Session().StateForTest().m_strPartNumber = partNumber;
    }
    void Delay(const std::string& typed)
    {
        OnDialog([typed](CDialogModel& dlg) {
            Set(dlg, "Delay ns", typed);
            Click(dlg, "OK");
        });
        OnSetupAntennaDelay(m_program);
    }
    Bodies Expected(const std::string& command) const
    {
        Bodies all = {"UNSL,XXXX,1", "PRID", "PRID", "GPSE"};
        all.push_back(command);
        return all;
    }
};

TEST_F(AntennaTest, DelayKeywordByTypeAndPartNumber)
{
    struct Case {
        int type;
        const char* part;
        const char* expected;
    } cases[] = {
        {16, "", "ANTD,000005"},
        {0, "512-6200-01", "ANT1,000005"},
        {0, "530-", "ANT1,000005"},
        {0, "531-0000", "ANTD,000005"},
        {22, "", "ANT1,000005"},
        {9, "", "EID000005"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        Type(c.type, c.part);
        m_device.ClearWritten();
        Delay("5");
        EXPECT_EQ(Sent(), Expected(c.expected));
    }
    EXPECT_EQ(m_device.Writes().back(), "$EID000005*\r");
    EXPECT_TRUE(m_host.Lines("box").empty());
}

TEST_F(AntennaTest, DelayClampedAndSigned)
{
    Type(16);
    Delay("1000000");
    EXPECT_EQ(Sent(), Expected("ANTD,999999"));
    EXPECT_EQ(m_host.Lines("sound"), (std::vector<std::string>{"sound exclamation"}));
    EXPECT_EQ(m_host.Lines("box"),
              (std::vector<std::string>{
                  "box error \"Antenna Delay entry error:1000000\" \"Set antenna delay to its maximun 999999\""}));

    // Only the first seven characters count, so no entry overflows.
    m_device.ClearWritten();
    Delay("99999999999999999999");
    EXPECT_EQ(Sent(), Expected("ANTD,999999"));
    EXPECT_NE(m_host.Lines("box").back().find("error:9999999\""), std::string::npos);

    m_device.ClearWritten();
    Delay("-5");
    EXPECT_EQ(Sent(), Expected("ANTD,-00005"));
}

TEST_F(AntennaTest, DelayWithoutCommandOrPort)
{
    Type(26);
    Delay("5");
    EXPECT_EQ(Sent(), (Bodies{"UNSL,XXXX,1", "PRID", "PRID", "GPSE"}));
    EXPECT_EQ(m_host.Lines("box"),
              (std::vector<std::string>{"box error \"Send ANT Delay Max.\" \"Unknown ProductType 26\""}));

    // The port closed: the value only goes into the unit state.
    m_host.Clear();
    m_program.Session().StopPolling();
    m_program.Session().LinkForTest().ClosePort();
    m_device.ClearWritten();
    Type(16);
    Delay("42");
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(m_host.Lines("box"),
              (std::vector<std::string>{"box error \"Send ANTD Max. & Comm not active\" \"000042\""}));
    EXPECT_EQ(m_program.Session().State().m_strAntennaDelay, "000042");
}

TEST_F(AntennaTest, DelayCancelledSendsNothingAndLeavesPollingStopped)
{
    Type(16);
    m_program.Session().StateForTest().m_strAntennaDelay = "000123";
    OnDialog([](CDialogModel& dlg) {
        EXPECT_EQ(dlg.Text(CAntennaDelayDlg::IDC_DELAY), "123");
        Click(dlg, "Cancel");
    });
    OnSetupAntennaDelay(m_program);
    EXPECT_EQ(Sent(), (Bodies{"UNSL,XXXX,1"}));
    EXPECT_FALSE(m_program.Session().IsPolling());
}

TEST_F(AntennaTest, PositionCommandByType)
{
    // The unit state's initial position: 33 11.1111 N, 117 22.2222 W, 00.00.
    auto runOk = [this] {
        OnDialog([](CDialogModel& dlg) {
            EXPECT_EQ(dlg.Text(CAntennaPositionDlg::IDC_LATITUDE), "33' 11.1111");
            EXPECT_EQ(dlg.Text(CAntennaPositionDlg::IDC_LONGITUDE), "117' 22.2222");
            EXPECT_EQ(dlg.Text(CAntennaPositionDlg::IDC_HEIGHT), "00.00   ");
            EXPECT_TRUE(dlg.IsChecked(CAntennaPositionDlg::IDC_NORTH));
            EXPECT_TRUE(dlg.IsChecked(CAntennaPositionDlg::IDC_WEST));
            Click(dlg, "OK");
        });
        m_device.ClearWritten();
        m_host.Clear();
        OnSetupAntennaPosition(m_program);
    };
    Type(0);
    runOk();
    EXPECT_EQ(Sent(), Expected("SPOS,33,11.1111,N,117,22.2222,W,00.00"));
    EXPECT_EQ(m_host.Lines("redraw").size(), 1u);

    Type(4);
    runOk();
    EXPECT_EQ(Sent(), Expected("POS1,33,11.1111,N,117,22.2222,W,00.00"));

    Type(9);
    runOk();
    EXPECT_EQ(Sent(), (Bodies{"UNSL,XXXX,1", "PRID", "PRID", "GPSE", "LLN033111111W117222222", "EL0000", "ELL",
                              "EEL"}));
    EXPECT_TRUE(m_host.Lines("redraw").empty());

    // No position command for this type: nothing after the stop.
    Type(26);
    runOk();
    EXPECT_EQ(Sent(), (Bodies{"UNSL,XXXX,1"}));
}

TEST_F(AntennaTest, PositionEditedAndPadded)
{
    Type(16);
    CGeoPosition& p = m_program.Session().StateForTest().m_position;
    p.m_strLatDegrees = "5";
    p.m_strLonDegrees = "5";
    OnDialog([](CDialogModel& dlg) {
        EXPECT_EQ(dlg.Text(CAntennaPositionDlg::IDC_LATITUDE), "05' 11.1111");
        EXPECT_EQ(dlg.Text(CAntennaPositionDlg::IDC_LONGITUDE), "005' 22.2222");
        Set(dlg, "Altitude", "123.45");
        Click(dlg, "S");
        Click(dlg, "E");
        Click(dlg, "OK");
    });
    OnSetupAntennaPosition(m_program);
    EXPECT_EQ(Sent(), Expected("SPOS,05,11.1111,S,005,22.2222,E,123.45"));

    Type(9);
    m_device.ClearWritten();
    OnDialog([](CDialogModel& dlg) {
        Set(dlg, "Altitude", "-1234.567");
        Click(dlg, "OK");
    });
    OnSetupAntennaPosition(m_program);
    // Digits among the first six characters of the height only.
    EXPECT_EQ(Sent()[5], "EL1234");
}

TEST_F(AntennaTest, PositionCancelledQueriesTime)
{
    Type(0);
    OnDialog([](CDialogModel& dlg) { dlg.CloseBox(); });
    OnSetupAntennaPosition(m_program);
    EXPECT_EQ(Sent(), Expected("TIME"));
}

TEST(AntennaPositionDlgTest, PackedDigitsToleratesAnyFieldText)
{
    EXPECT_EQ(CAntennaPositionDlg::PackedDigits("33' 11.1111"), "33111111");
    EXPECT_EQ(CAntennaPositionDlg::PackedDigits("117' 22.2222"), "117222222");
    EXPECT_EQ(CAntennaPositionDlg::PackedDigits("3 '  1.    "), "3  1    ");
    EXPECT_EQ(CAntennaPositionDlg::PackedDigits("12"), "12");
    EXPECT_EQ(CAntennaPositionDlg::PackedDigits("'"), "");
    EXPECT_EQ(CAntennaPositionDlg::PackedDigits("1'"), "1");
}

}  // namespace
}  // namespace velmor
