#include "config/AboutDlg.h"

#include "config/ConfigContext.h"
#include "config/SetupCommands.h"

namespace velmor {

namespace {
CControl Field(int id, const char* label, const char* initial)
{
    CControl c = MakeControl(id, CtlKind::Label, label);
    c.m_strValue = initial;
    return c;
}
}  // namespace

CAboutDlg::CAboutDlg(IConfigContext& context) : m_context(context)
{
    m_strCaption = "About Velmor - Windows User Interface Application Program";
    Add(MakeControl(IDC_TITLE, CtlKind::Label, "Velmor - Windows User Application Program"));
    Add(Field(IDC_PART_NUMBER, "Pelliver Inc. P/N:", "[Part Number]"));
    Add(Field(IDC_VERSION, "Version:", "[Version]"));
    Add(Field(IDC_PRODUCT_NAME, "Product Name:", "[Prod.  Name]"));
    Add(Field(IDC_ID_NUMBER, "ID Number:", "[001]"));
    Add(Field(IDC_FIRMWARE_PART, "Firmware P/N:", "[Part Number]"));
    Add(Field(IDC_FIRMWARE_VERSION, "Version:", "[Version]"));
    Add(Field(IDC_GPS_VERSION, "GPS Version:", "[Version]"));
    Add(Field(IDC_GPS_CHANNELS, "GPS Channels:", "[No. of Ch.]"));
    Add(MakeButton(IDOK_ABOUT, "OK", ButtonRole::Ok));
}

void CAboutDlg::OnInitDialog()
{
    m_context.SetAboutDlg(this);
    // The replies to these queries fill the box while it is open; until the
    // PRID reply arrives, sentences go out with CR LF even to a legacy unit.
    m_context.ForgetReportedProductType();
    m_context.SendCommand("PRID");
    m_context.SendCommand("GPSE");
    m_context.SendCommand("VERS");
    Ctl(IDC_VERSION).m_strValue = kProgramVersion;
    Ctl(IDC_PART_NUMBER).m_strValue = kProgramPartNumber;
}

void CAboutDlg::OnDestroy()
{
    if (m_context.AboutDlg() == this) m_context.SetAboutDlg(nullptr);
}

void CAboutDlg::SetValue(int id, const std::string& text)
{
    Ctl(id).m_strValue = text;
    Changed();
}

void OnAppAbout(IConfigContext& context)
{
    CAboutDlg dialog(context);
    context.Events().RunDialog(dialog);
}

}  // namespace velmor
