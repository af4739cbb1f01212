#pragma once
// "Set Antenna Position": latitude, longitude and height in picture-mask
// fields, with the two hemispheres as radio pairs. Latitude and longitude
// come back in the packed digit form (degrees, minutes and fraction digits
// joined); the height comes back as the field holds it.

#include <string>

#include "config/DialogModel.h"

namespace velmor {

class CAntennaPositionDlg : public CDialogModel {
public:
    enum : int {
        IDC_LATITUDE = 1400, IDC_NORTH, IDC_SOUTH, IDC_LONGITUDE, IDC_EAST, IDC_WEST, IDC_HEIGHT,
        IDOK_POSITION, IDCANCEL_POSITION
    };
    static constexpr const char* kLatitudeMask = "99' 99.9999";
    static constexpr const char* kLongitudeMask = "999' 99.9999";
    static constexpr const char* kHeightMask = "XXXXXXXX";
    // How much of a coordinate field is read back.
    static constexpr std::size_t kReadChars = 19;

    CAntennaPositionDlg();
    void OnInitDialog() override;
    bool OnOK() override;

    // "DD'MM.FFFF" (latitude) or "DDD'MM.FFFF" (longitude) before the dialog
    // runs, the packed digits afterwards.
    std::string m_strLatitude;
    std::string m_strLongitude;
    std::string m_strHeight;
    std::string m_strLatHemisphere = "N";
    std::string m_strLonHemisphere = "E";

    // "DD' MM.FFFF" as the field shows it to the joined digits "DDMMFFFF".
    static std::string PackedDigits(const std::string& fieldText);
};

}  // namespace velmor
