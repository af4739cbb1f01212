#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/SerialLink.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

struct LinkFixture : ::testing::Test {
    CFakeHost m_host;
    CFakeSerialDevice m_device;
    int m_nReportedType = -1;
    CSerialLink m_link{m_host, m_device, m_nReportedType};
    SerialSettings m_settings;
};

using Log = std::vector<std::string>;

TEST_F(LinkFixture, FramesPridWithCrLfOrCrOnlyForType9)
{
    ASSERT_EQ(m_link.OpenPort(m_settings), 0);
    m_link.SendCommand("PRID");
    EXPECT_EQ(m_device.Written(), std::string("\x24\x50\x52\x49\x44\x2A\x0D\x0A"));
    m_device.ClearWritten();
    m_nReportedType = 9;
    m_link.SendCommand("PRID");
    EXPECT_EQ(m_device.Written(), std::string("\x24\x50\x52\x49\x44\x2A\x0D"));
    EXPECT_EQ(m_device.m_nLastTimeoutMs, 1000);
}

TEST_F(LinkFixture, FramedBodyIsFramedAgain)
{
    ASSERT_EQ(m_link.OpenPort(m_settings), 0);
    m_link.SendCommand("$pule*\r\n");
    EXPECT_EQ(m_device.Written(), "$$pule*\r\n*\r\n");
    EXPECT_TRUE(m_host.m_log.empty());
}

TEST_F(LinkFixture, OverlongBodyIsRefusedWithTheWriteFailureBox)
{
    ASSERT_EQ(m_link.OpenPort(m_settings), 0);
    m_link.SendCommand(std::string(251, 'A'));
    EXPECT_EQ(m_device.Written().size(), 255u);
    EXPECT_TRUE(m_host.m_log.empty());

    m_device.ClearWritten();
    m_link.SendCommand(std::string(252, 'A'));
    m_link.SendCommand(std::string(100000, 'A'));
    EXPECT_EQ(m_device.Written(), "");
    EXPECT_EQ(m_host.m_log, (Log{"sound exclamation", "box warning \"Comm Error\" \"Cannot write to communication port!\"",
                                 "sound exclamation", "box warning \"Comm Error\" \"Cannot write to communication port!\""}));
    // CR alone leaves room for one more character.
    EXPECT_EQ(FrameCommand(std::string(252, 'A'), 9).size(), 255u);
}

TEST_F(LinkFixture, WriteFailureAndClosedPortBoxWithoutOwner)
{
    m_link.SendCommand("UNSL,XXXX,1");  // no port open
    ASSERT_EQ(m_link.OpenPort(m_settings), 0);
    m_device.m_bFailWrite = true;
    m_link.SendCommand("PRID");
    ASSERT_EQ(m_host.m_boxes.size(), 2u);
    for (const auto& box : m_host.m_boxes) {
        EXPECT_EQ(box.m_owner, Owner::None);
        EXPECT_EQ(box.m_icon, Icon::Warning);
        EXPECT_EQ(box.m_strText, "Cannot write to communication port!");
    }
}

TEST_F(LinkFixture, WriteFailuresWhileTheBoxIsOpenDoNotPileUpBoxes)
{
    // The unplugged line: every poll tick inside the open box fails again.
    int nested = 0;
    m_host.m_onBox = [&](const CFakeHost::BoxRecord&) {
        if (nested++ < 3) m_link.SendCommand("DACV");
    };
    m_link.SendCommand("TIMM");
    EXPECT_EQ(m_host.m_boxes.size(), 1u);
    EXPECT_EQ(m_host.Lines("sound").size(), 2u) << "each lost command still sounds";
    // Once the box is closed the next failure is reported again.
    m_link.SendCommand("TIMM");
    EXPECT_EQ(m_host.m_boxes.size(), 2u);
}

TEST_F(LinkFixture, ColdStartFlagClearsOnlyForItsTwoBodies)
{
    m_link.m_bColdStartPending = true;
    m_link.SendCommand("RC,1");
    EXPECT_TRUE(m_link.m_bColdStartPending);
    m_link.SendCommand("RC");  // cleared even though the write failed (no port)
    EXPECT_FALSE(m_link.m_bColdStartPending);
    m_link.m_bColdStartPending = true;
    m_link.SendCommand("RSTG,C");
    EXPECT_FALSE(m_link.m_bColdStartPending);
}

TEST_F(LinkFixture, OpenPortRepairsTheRecordAndAppliesTheLine)
{
    m_settings = SerialSettings{3, 38400, 5, 7, 3};
    EXPECT_EQ(BuildDefinitionString(m_settings), "COM3: baud=38400 parity=N data=8 stop=1");
    m_settings = SerialSettings{3, 38400, 1, 7, 3};
    ASSERT_EQ(m_link.OpenPort(m_settings), 0);
    EXPECT_EQ(m_settings.m_nDataBits, 8);
    EXPECT_EQ(m_settings.m_nStopBits, 1);
    EXPECT_TRUE(m_link.m_bPortOpen);
    EXPECT_EQ(m_device.m_events, (Log{"open /dev/ttyS2", "purge", "apply 38400 8O1", "clearerrors"}));
    EXPECT_TRUE(m_host.m_log.empty());
}

TEST(SerialSettingsTest, DefinitionStringParser)
{
    SerialSettings settings;
    EXPECT_EQ(BuildDefinitionString(settings), "COM1: baud=19200 parity=N data=8 stop=1");
    LineSettings line;
    ASSERT_TRUE(ParseDefinitionString("COM12: baud=2400 parity=E data=7 stop=2", line));
    EXPECT_EQ(line.m_nBaud, 2400);
    EXPECT_EQ(line.m_chParity, 'E');
    EXPECT_EQ(line.m_nDataBits, 7);
    EXPECT_EQ(line.m_nStopBits, 2);
    for (const char* bad : {"", "COM1:", "COM1 baud=9600", "COM1: baud=12345 parity=N data=8 stop=1",
                            "COM1: baud=9600 parity=X data=8 stop=1", "COM1: baud=9600 parity=N data=9 stop=1",
                            "COM1: baud=9600 parity=N data=8 stop=0", "COM1: baud=-9600", "COM1: baud=9600x",
                            "COM1: baud=9600 baud=9600", "COM1: speed=9600"})
        EXPECT_FALSE(ParseDefinitionString(bad, line)) << bad;
}

TEST_F(LinkFixture, OpenFailuresShowTheirBoxThenTheInitCommSummary)
{
    m_device.m_bFailOpen = true;
    m_link.InitComm(Owner::View, m_settings);
    EXPECT_FALSE(m_link.m_bPortOpen);
    EXPECT_EQ(m_host.m_log, (Log{"sound hand", "box error \"OpenComm FAILED!\" \"Could not open communication port\"",
                                 "sound hand",
                                 "box error \"Trevik Init Comm. I/O failed!!\" "
                                 "\"Comm:1,Baud=19200,Parity=0,Data=8,Stop=1 & return value=-1\""}));
    ASSERT_EQ(m_host.m_boxes.size(), 2u);
    EXPECT_EQ(m_host.m_boxes[0].m_owner, Owner::None);
    EXPECT_EQ(m_host.m_boxes[1].m_owner, Owner::View);

    // A rate the driver cannot take: the handle is closed again, so the next
    // InitComm can open the same port.
    m_host.Clear();
    m_device.m_bFailOpen = false;
    m_settings.m_nBaud = 12345;
    m_settings.m_nParity = 2;
    m_settings.m_nStopBits = 3;
    EXPECT_EQ(m_link.OpenPort(m_settings), -1);
    EXPECT_FALSE(m_device.IsOpen());
    EXPECT_FALSE(m_link.m_bPortOpen);
    EXPECT_EQ(m_host.m_log, (Log{"sound hand", "box error \"Build Comm DCB failed\" "
                                               "\"Comm port:1,Baud=12345,Parity=2,Data=8, and Stop=1\""}));

    m_host.Clear();
    m_settings.m_nBaud = 9600;
    m_device.m_bFailApply = true;
    EXPECT_EQ(m_link.OpenPort(m_settings), -1);
    EXPECT_FALSE(m_device.IsOpen());
    EXPECT_EQ(m_host.m_log, (Log{"sound hand", "box error \"Could not set communication state\" \"SetCommState\""}));

    m_device.m_bFailApply = false;
    m_link.InitComm(Owner::Dialog, m_settings);
    EXPECT_TRUE(m_link.m_bPortOpen);
    EXPECT_EQ(m_device.m_applied.m_nBaud, 9600);
}

TEST_F(LinkFixture, InitCommClosesAnOpenPortFirst)
{
    m_link.SetPortPathResolver([](int port) { return "/dev/ttyUSB" + std::to_string(port); });
    m_link.InitComm(Owner::View, m_settings);
    m_link.InitComm(Owner::View, m_settings);
    EXPECT_EQ(m_device.m_nCloseCount, 1);
    EXPECT_EQ(m_device.m_strPath, "/dev/ttyUSB1");
}

TEST_F(LinkFixture, ReadFailureClearsErrorsAndGivesZero)
{
    std::uint8_t buffer[512];
    EXPECT_EQ(m_link.ReadAvailable(buffer, sizeof buffer), 0);  // no port
    ASSERT_EQ(m_link.OpenPort(m_settings), 0);
    m_device.QueueInput("$ABC\r");
    EXPECT_EQ(m_link.ReadAvailable(buffer, sizeof buffer), 5);
    m_device.m_bFailRead = true;
    int clears = m_device.m_nClearErrorsCount;
    EXPECT_EQ(m_link.ReadAvailable(buffer, sizeof buffer), 0);
    EXPECT_EQ(m_device.m_nClearErrorsCount, clears + 1);
}

}  // namespace
}  // namespace velmor
