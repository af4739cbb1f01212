#include "config/CommSetupDlg.h"

namespace velmor {

namespace {
CControl List(int id, const char* label, std::vector<std::string> items)
{
    CControl c = MakeControl(id, CtlKind::Combo, label, CCommSetupDlg::IDC_GROUP);
    c.m_items = std::move(items);
    return c;
}
}  // namespace

CCommSetupDlg::CCommSetupDlg(const SerialSettings& s)
    : m_nPort(s.m_nPort), m_nBaud(s.m_nBaud), m_nParity(s.m_nParity), m_nDataBits(s.m_nDataBits),
      m_nStopBits(s.m_nStopBits)
{
    m_strCaption = "Set Serial Port:";
    Add(MakeControl(IDC_GROUP, CtlKind::Group, "Com Port Attributes:"));
    Add(List(IDC_PORT, "Port:", {"Com 1", "Com 2", "Com 3", "Com 4", "Com 5", "Com 6", "Com 7", "Com 8", "Com 9"}));
    Add(List(IDC_BAUD, "Baud Rate:", {"2400", "4800", "9600", "19200"}));
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
    select(IDC_PORT, m_nPort > 0 ? m_nPort - 1 : -1);  // a hand-edited Port may be INT_MIN
    select(IDC_BAUD, m_nBaud == 2400 ? 0 : m_nBaud == 4800 ? 1 : m_nBaud == 19200 ? 3 : 2);
    select(IDC_DATA, m_nDataBits == 7 ? 0 : 1);
    select(IDC_PARITY, m_nParity);
    select(IDC_STOP, m_nStopBits - 1);
    Enable(IDC_BAUD, true);
    Enable(IDC_DATA, false);
    Enable(IDC_PARITY, false);
    Enable(IDC_STOP, false);
}

bool CCommSetupDlg::OnOK()
{
    // A list without selection yields -1 as its entry, as the list control does.
    m_nPort = Ctl(IDC_PORT).m_nSelection + 1;
    static const int rates[] = {2400, 4800, 9600, 19200};
    const int baud = Ctl(IDC_BAUD).m_nSelection;
    if (baud >= 0 && baud < 4) m_nBaud = rates[baud];
    const int data = Ctl(IDC_DATA).m_nSelection;
    if (data == 0) m_nDataBits = 7;
    else if (data == 1) m_nDataBits = 8;
    m_nParity = Ctl(IDC_PARITY).m_nSelection;
    m_nStopBits = Ctl(IDC_STOP).m_nSelection + 1;
    return true;
}

}  // namespace velmor
