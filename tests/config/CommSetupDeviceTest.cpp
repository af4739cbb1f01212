// The serial-port dialog's device field: the adapter description read from a
// by-id name, and when OK writes the device to the port mapping. The golden
// session com_setup_device shows the field in the running program.

#include <gtest/gtest.h>

#include "config/CommSetupDlg.h"
#include "platform/SerialPorts.h"
#include "settings/SerialProfile.h"

namespace velmor {
namespace {

TEST(SerialById, DescribesTheAdapterAndToleratesOddNames)
{
    EXPECT_EQ(DescribeSerialById("usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0"), "FTDI FT232R USB UART (A10K1ABC)");
    EXPECT_EQ(DescribeSerialById("usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if00-port0"),
              "Prolific Technology Inc. USB-Serial Controller (D)");
    EXPECT_EQ(DescribeSerialById("usb-1a86_USB2.0-Serial-if00-port0"), "1a86 USB2.0-Serial");
    EXPECT_EQ(DescribeSerialById("pci-Adapter"), "Adapter");  // no serial, no interface suffix
    // Names without a bus prefix or without anything after it say nothing.
    for (const char* name : {"", "-", "usb-", "usb--if00", "noprefix", "-if00"})
        EXPECT_EQ(DescribeSerialById(name), "") << name;
    EXPECT_EQ(DescribeSerialById("usb-_"), "");
}

class CommSetupDevice : public ::testing::Test {
protected:
    CProfile m_profile = CProfile::InMemory("[Port Devices]\n2=tcp://unit:4000\n");
    CDeviceChoice Choice()
    {
        return {[this](int port) { return PortDevicePath(m_profile, port); },
                {{"/dev/serial/by-id/usb-Acme_Box_42-if00", "Acme Box (42)"}, {"/dev/ttyUSB0", ""}},
                ""};
    }
    std::string Mapped() const { return m_profile.GetString(kPortDevicesSection, "2", "(none)"); }
};

TEST_F(CommSetupDevice, OkWritesOnlyADeviceThatDiffersFromTheMapping)
{
    SerialSettings settings;
    settings.m_nPort = 2;
    {
        CCommSetupDlg dialog(settings, Choice());
        dialog.Init();
        EXPECT_EQ(dialog.Ctl(CCommSetupDlg::IDC_DEVICE).m_strValue, "tcp://unit:4000");
        dialog.PressEnter();
        const std::string before = m_profile.Text();
        dialog.SaveDevice(m_profile);
        EXPECT_EQ(m_profile.Text(), before);
    }
    {
        // Blanks around a typed device do not count; an emptied field keeps the mapping.
        CCommSetupDlg dialog(settings, Choice());
        dialog.Init();
        dialog.SetText(CCommSetupDlg::IDC_DEVICE, "   ");
        dialog.PressEnter();
        dialog.SaveDevice(m_profile);
        EXPECT_EQ(Mapped(), "tcp://unit:4000");
    }
    {
        // Choosing a listed device takes its path and shows its description.
        CCommSetupDlg dialog(settings, Choice());
        dialog.Init();
        dialog.Select(CCommSetupDlg::IDC_DEVICE, 0);
        EXPECT_EQ(dialog.Ctl(CCommSetupDlg::IDC_DEVICE_INFO).m_strText, "Acme Box (42)");
        EXPECT_TRUE(dialog.Ctl(CCommSetupDlg::IDC_DEVICE_INFO).m_bVisible);
        dialog.PressEnter();
        dialog.SaveDevice(m_profile);
        EXPECT_EQ(Mapped(), "/dev/serial/by-id/usb-Acme_Box_42-if00");
    }
}

TEST_F(CommSetupDevice, NoPortChosenMeansNoDeviceAndNoWrite)
{
    SerialSettings settings;
    settings.m_nPort = 0;
    CCommSetupDlg dialog(settings, Choice());
    dialog.Init();
    EXPECT_EQ(dialog.Ctl(CCommSetupDlg::IDC_DEVICE).m_strValue, "");
    EXPECT_FALSE(dialog.Ctl(CCommSetupDlg::IDC_OPEN_ERROR).m_bVisible);
    dialog.SetText(CCommSetupDlg::IDC_DEVICE, "/dev/ttyUSB3");
    dialog.PressEnter();
    const std::string before = m_profile.Text();
    dialog.SaveDevice(m_profile);
    EXPECT_EQ(m_profile.Text(), before);
}

}  // namespace
}  // namespace velmor
