#include "config/TodRateDlg.h"

#include "app/Program.h"

namespace velmor {

namespace {

CControl Make(int id, CtlKind kind, const char* text, ButtonRole role = ButtonRole::None)
{
    CControl c;
    c.m_nId = id;
    c.m_kind = kind;
    c.m_strText = text;
    c.m_role = role;
    return c;
}

// The caption of the framework's own validation boxes.
const char* const kAppCaption = "Velmor";

}  // namespace

CTodRateDlg::CTodRateDlg(CProgram& program) : m_program(program)
{
    m_strCaption = "Time of Day Rate Setting:";
    CControl rate = Make(IDC_RATE, CtlKind::Combo, "TOD Rate:");
    rate.m_items = {"ASCII TOD Every Second", "ASCII TOD Even Second"};
    Add(rate);
    Add(Make(IDOK_TOD, CtlKind::Button, "OK", ButtonRole::Ok));
    Add(Make(IDCANCEL_TOD, CtlKind::Button, "Cancel", ButtonRole::Cancel));
}

void CTodRateDlg::OnInitDialog()
{
    CControl& rate = Ctl(IDC_RATE);
    rate.m_nSelection = m_nPosition >= 0 && m_nPosition < static_cast<int>(rate.m_items.size()) ? m_nPosition : -1;
}

bool CTodRateDlg::OnOK()
{
    const int selection = Ctl(IDC_RATE).m_nSelection;
    if (selection < 0) {
        m_program.m_host.PlaySound(Sound::Hand);
        m_program.m_host.MessageBox(Owner::Dialog, "Please select a TOD rate.", kAppCaption, Icon::Error);
        return false;
    }
    m_nPosition = selection;
    return true;
}

}  // namespace velmor
