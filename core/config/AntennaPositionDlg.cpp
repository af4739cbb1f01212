#include "config/AntennaPositionDlg.h"

#include <memory>

#include "widgets/PictureMask.h"

namespace velmor {

CAntennaPositionDlg::CAntennaPositionDlg()
{
    m_strCaption = "Set Antenna Position";
    // Each coordinate's hemisphere buttons sit beside its field.
    Add(MakeMaskField(IDC_LATITUDE, "Latitude:"));
    Add(MakeControl(IDC_NORTH, CtlKind::Radio, "N", 0, 1)).m_bSameRow = true;
    Add(MakeControl(IDC_SOUTH, CtlKind::Radio, "S", 0, 1)).m_bSameRow = true;
    Add(MakeMaskField(IDC_LONGITUDE, "Longitude:"));
    Add(MakeControl(IDC_EAST, CtlKind::Radio, "E", 0, 2)).m_bSameRow = true;
    Add(MakeControl(IDC_WEST, CtlKind::Radio, "W", 0, 2)).m_bSameRow = true;
    CControl height = MakeMaskField(IDC_HEIGHT, "Altitude:");
    height.m_strUnit = "meter";
    Add(height);
    CControl ok = MakeControl(IDOK_POSITION, CtlKind::Button, "OK");
    ok.m_role = ButtonRole::Ok;
    Add(ok);
    CControl cancel = MakeControl(IDCANCEL_POSITION, CtlKind::Button, "Cancel");
    cancel.m_role = ButtonRole::Cancel;
    Add(cancel);
}

void CAntennaPositionDlg::OnInitDialog()
{
    auto fill = [&](int id, const char* mask, const std::string& text) {
        CPictureMask& field = *Ctl(id).m_pMask;
        field.SetMask(mask);
        field.FillFromDigits(text, 0, false, true);
    };
    fill(IDC_LATITUDE, kLatitudeMask, m_strLatitude);
    fill(IDC_LONGITUDE, kLongitudeMask, m_strLongitude);
    fill(IDC_HEIGHT, kHeightMask, m_strHeight);
    Check(m_strLatHemisphere == "N" ? IDC_NORTH : IDC_SOUTH, true);
    Check(m_strLonHemisphere == "E" ? IDC_EAST : IDC_WEST, true);
}

std::string CAntennaPositionDlg::PackedDigits(const std::string& fieldText)
{
    const std::string text = fieldText.substr(0, kReadChars);
    const std::size_t apostrophe = text.find('\'');
    if (apostrophe == std::string::npos) return text;
    const std::string degrees = text.substr(0, apostrophe);
    const std::string rest = text.substr(apostrophe + 1);
    const std::size_t point = rest.find('.');
    const std::string minutesPart = point == std::string::npos ? rest : rest.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string() : rest.substr(point + 1);
    // The blank the mask puts after the apostrophe is not a digit.
    const std::string minutes = minutesPart.empty() ? minutesPart : minutesPart.substr(1);
    return degrees + minutes + fraction;
}

bool CAntennaPositionDlg::OnOK()
{
    m_strLatitude = PackedDigits(Text(IDC_LATITUDE));
    m_strLongitude = PackedDigits(Text(IDC_LONGITUDE));
    m_strHeight = Text(IDC_HEIGHT);
    m_strLatHemisphere = IsChecked(IDC_NORTH) ? "N" : "S";
    m_strLonHemisphere = IsChecked(IDC_EAST) ? "E" : "W";
    return true;
}

}  // namespace velmor
