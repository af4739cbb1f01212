#include "config/CommSetupDlg.h"

#include <iterator>

namespace velmor {

namespace {
CControl List(int id, const char* label, std::vector<std::string> items)
{
    CControl c = MakeControl(id, CtlKind::Combo, label, CCommSetupDlg::IDC_GROUP);
    c.m_items = std::move(items);
    return c;
}
}  // namespace

CCommSetupDlg::CCommSetupDlg(const SerialSettings& settings) : m_settings(settings)
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
    return true;
}

}  // namespace velmor
