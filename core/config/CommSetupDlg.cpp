#include "config/CommSetupDlg.h"

#include <iterator>

#include "settings/SerialProfile.h"
#include "text/Text.h"

namespace velmor {

namespace {
CControl List(int id, const char* label, std::vector<std::string> items)
{
    CControl c = MakeControl(id, CtlKind::Combo, label, CCommSetupDlg::IDC_GROUP);
    c.m_items = std::move(items);
    return c;
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A label that is shown only while it has something to say.
void SetNote(CDialogModel& dialog, int id, std::string text)
{
    CControl& c = dialog.Ctl(id);
    c.m_bVisible = !text.empty();
    c.m_strText = std::move(text);
}
}  // namespace

CCommSetupDlg::CCommSetupDlg(const SerialSettings& settings, CDeviceChoice choice)
    : m_settings(settings), m_choice(std::move(choice))
{
    std::vector<std::string> rates;
    for (int rate : kOfferedBaudRates) rates.push_back(std::to_string(rate));
    m_strCaption = "Set Serial Port:";
    Add(MakeControl(IDC_GROUP, CtlKind::Group, "Com Port Attributes:"));
    Add(List(IDC_PORT, "Port:", {"Com 1", "Com 2", "Com 3", "Com 4", "Com 5", "Com 6", "Com 7", "Com 8", "Com 9"}));
    Add(List(IDC_BAUD, "Baud Rate:", std::move(rates)));
    Add(List(IDC_DATA, "Data:", {"7", "8"}));
    Add(List(IDC_STOP, "Stop Bit:", {"1", "2"}));
    Add(List(IDC_PARITY, "Parity:", {"None", "Odd", "Even"}));
    CControl device = MakeControl(IDC_DEVICE, CtlKind::Combo, "Device:");
    device.m_bEditable = true;
    for (const CSerialPortInfo& info : m_choice.m_devices) device.m_items.push_back(info.m_strPath);
    Add(std::move(device));
    Add(MakeControl(IDC_DEVICE_INFO, CtlKind::Label, ""));
    Add(MakeControl(IDC_OPEN_ERROR, CtlKind::Label, ""));
    AddOkCancel(IDOK_COMM, IDCANCEL_COMM);
}

void CCommSetupDlg::OnInitDialog()
{
    auto select = [&](int id, int index) {
        CControl& c = Ctl(id);
        c.m_nSelection = (index >= 0 && index < static_cast<int>(c.m_items.size())) ? index : -1;
    };
    const SerialSettings& s = m_settings;
    select(IDC_PORT, s.m_nPort > 0 ? s.m_nPort - 1 : -1);  // a hand-edited Port may be INT_MIN
    // A rate the list does not offer shows as 9600.
    int baud = 2;
    for (std::size_t i = 0; i < std::size(kOfferedBaudRates); ++i)
        if (kOfferedBaudRates[i] == s.m_nBaud) baud = static_cast<int>(i);
    select(IDC_BAUD, baud);
    select(IDC_DATA, s.m_nDataBits == 7 ? 0 : 1);
    select(IDC_PARITY, s.m_nParity);
    select(IDC_STOP, s.m_nStopBits - 1);
    Enable(IDC_BAUD, true);
    Enable(IDC_DATA, false);
    Enable(IDC_PARITY, false);
    Enable(IDC_STOP, false);
    ShowDeviceOf(Ctl(IDC_PORT).m_nSelection + 1);
    SetNote(*this, IDC_OPEN_ERROR, m_choice.m_strLastOpenError);
}

void CCommSetupDlg::ShowDeviceOf(int port)
{
    // With no port chosen there is no mapping to show.
    Ctl(IDC_DEVICE).m_strValue = (port > 0 && m_choice.m_resolver) ? m_choice.m_resolver(port) : std::string();
    Ctl(IDC_DEVICE).m_nSelection = -1;
    DescribeDevice();
}

void CCommSetupDlg::DescribeDevice()
{
    const std::string path = Trimmed(Ctl(IDC_DEVICE).m_strValue);
    std::string description;
    for (const CSerialPortInfo& info : m_choice.m_devices)
        if (info.m_strPath == path) description = info.m_strDescription;
    const std::string byId = "/dev/serial/by-id/";
    if (description.empty() && path.compare(0, byId.size(), byId) == 0)
        description = DescribeSerialById(path.substr(byId.size()));
    SetNote(*this, IDC_DEVICE_INFO, description);
}

void CCommSetupDlg::OnSelChange(int id)
{
    if (id == IDC_PORT) ShowDeviceOf(Ctl(IDC_PORT).m_nSelection + 1);
    else if (id == IDC_DEVICE) DescribeDevice();
}

void CCommSetupDlg::OnEditChange(int id)
{
    if (id == IDC_DEVICE) DescribeDevice();
}

bool CCommSetupDlg::OnOK()
{
    // A list without selection yields -1 as its entry, as the list control does.
    SerialSettings& s = m_settings;
    s.m_nPort = Ctl(IDC_PORT).m_nSelection + 1;
    const int baud = Ctl(IDC_BAUD).m_nSelection;
    if (baud >= 0 && baud < static_cast<int>(std::size(kOfferedBaudRates))) s.m_nBaud = kOfferedBaudRates[baud];
    const int data = Ctl(IDC_DATA).m_nSelection;
    if (data == 0) s.m_nDataBits = 7;
    else if (data == 1) s.m_nDataBits = 8;
    s.m_nParity = Ctl(IDC_PARITY).m_nSelection;
    s.m_nStopBits = Ctl(IDC_STOP).m_nSelection + 1;
    m_strDevice = Trimmed(Ctl(IDC_DEVICE).m_strValue);
    return true;
}

void CCommSetupDlg::SaveDevice(CProfile& profile) const
{
    // An emptied field keeps the mapping rather than removing it.
    if (m_settings.m_nPort < 1 || m_strDevice.empty()) return;
    if (m_strDevice == PortDevicePath(profile, m_settings.m_nPort)) return;
    profile.WriteString(kPortDevicesSection, Format("%d", m_settings.m_nPort), m_strDevice);
}

}  // namespace velmor
