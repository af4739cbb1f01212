#include "config/MaskAngleDlg.h"

#include "config/ConfigContext.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {
const char* const kBadAngleCaption = "Mirelle: Bad Mask Angle";
}  // namespace

CMaskAngleDlg::CMaskAngleDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "Set Mask Angle";
    CControl angle = MakeControl(IDC_ANGLE, CtlKind::Edit, "Mask Angle:");
    angle.m_nMaxLength = kMaxLength;
    Add(angle);
    AddOkCancel(IDOK_MASK, IDCANCEL_MASK);
}

void CMaskAngleDlg::OnInitDialog() { Ctl(IDC_ANGLE).m_strValue = std::to_string(m_nValue); }

bool CMaskAngleDlg::OnOK()
{
    m_nValue = AtoI(Text(IDC_ANGLE).substr(0, kMaxLength));
    // Only the Mirelle units hold the angle to its range.
    if (!IsMirelleFamily(m_context.State().m_nReportedProductType)) return true;
    ISessionEvents& host = m_context.Events();
    if (m_nValue < kMinAngle) {
        host.PlaySound(Sound::Hand);
        host.MessageBox(Owner::Dialog, Format("Mask Angle:%2d less than 5 set to minimim: 5", m_nValue),
                        kBadAngleCaption, Icon::Error);
        m_nValue = kMinAngle;
    }
    if (m_nValue > kMaxAngle) {
        host.PlaySound(Sound::Hand);
        host.MessageBox(Owner::Dialog, Format("Mask Angle:%2d greater than 90 set to maximun: 90", m_nValue),
                        kBadAngleCaption, Icon::Error);
        m_nValue = kMaxAngle;
    }
    return true;
}

}  // namespace velmor
