#include "config/TodRateDlg.h"

#include "config/ConfigContext.h"

namespace velmor {

namespace {

}  // namespace

CTodRateDlg::CTodRateDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Time of Day Rate Setting:";
    CControl rate = MakeControl(IDC_RATE, CtlKind::Combo, "TOD Rate:");
    rate.m_items = {"ASCII TOD Every Second", "ASCII TOD Even Second"};
    Add(rate);
    AddOkCancel(IDOK_TOD, IDCANCEL_TOD);
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
        m_context.Events().PlaySound(Sound::Hand);
        m_context.Events().MessageBox(Owner::Dialog, "Please select a TOD rate.", kAppCaption, Icon::Error);
        return false;
    }
    m_nPosition = selection;
    return true;
}

}  // namespace velmor
