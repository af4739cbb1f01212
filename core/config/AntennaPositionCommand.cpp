// Setup > Antenna Position: latitude, longitude and height, sent as one SPOS
// or POS1 command, or for the legacy unit as its LL/EL sequence.

#include <string>

#include "config/ConfigContext.h"
#include "config/AntennaPositionDlg.h"
#include "config/SetupCommands.h"
#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

struct CCoordinate {
    long long m_nDegrees = 0;
    long long m_nMinutes = 0;
    long long m_nFraction = 0;
};

// The packed digits hold at most nine digits from the masks; anything else
// the conversion saturates, and the arithmetic stays defined.
CCoordinate Unpack(const std::string& packed)
{
    long long v = AtoLL(packed);
    if (v < 0) v = 0;
    return CCoordinate{v / 1000000, (v % 1000000) / 10000, v % 10000};
}

const char* PositionKeyword(int productType)
{
    switch (CommandFamilyOf(productType)) {
    case CommandFamily::Trmo: return "SPOS,";
    case CommandFamily::Tmd1: return "POS1,";
    default: return nullptr;
    }
}

// The height field is eight positions wide; the unit must not get the empty
// positions at its end.
std::string TrimTrailingPrompts(std::string height)
{
    while (!height.empty() && height.back() == ' ') height.pop_back();
    return height;
}

// The legacy EL command takes the digits among the first six characters.
std::string LegacyHeightDigits(const std::string& height)
{
    std::string digits;
    for (char c : height.substr(0, 6))
        if (c >= '0' && c <= '9') digits += c;
    return digits;
}

void RestartPolling(IConfigContext& context, bool wasPolling)
{
    if (!wasPolling) return;
    context.ReopenAndPoll();
}

}  // namespace

void OnSetupAntennaPosition(IConfigContext& context)
{
    const CUnitState& state = context.State();
    const CGeoPosition& position = state.m_position;
    const bool wasPolling = context.IsPolling();
    if (wasPolling) context.StopPolling();

    CAntennaPositionDlg dlg;
    dlg.m_strLatitude = Format("%02d'", AtoI(position.m_strLatDegrees)) + position.m_strLatMinutes;
    dlg.m_strLongitude = Format("%03d'", AtoI(position.m_strLonDegrees)) + position.m_strLonMinutes;
    dlg.m_strHeight = position.m_strHeight;
    dlg.m_strLatHemisphere = std::string(1, position.m_chLatHemisphere);
    dlg.m_strLonHemisphere = std::string(1, position.m_chLonHemisphere);

    if (!context.Events().RunDialog(dlg)) {
        RestartPolling(context, wasPolling);
        context.SendCommand("TIME");
        return;
    }

    const CCoordinate lat = Unpack(dlg.m_strLatitude);
    const CCoordinate lon = Unpack(dlg.m_strLongitude);
    const int type = state.m_nProductType;
    if (CommandFamilyOf(type) == CommandFamily::Legacy) {
        const std::string latitude =
            dlg.m_strLatHemisphere + Format("%03lld%02lld%04lld", lat.m_nDegrees, lat.m_nMinutes, lat.m_nFraction);
        const std::string longitude =
            dlg.m_strLonHemisphere + Format("%03lld%02lld%04lld", lon.m_nDegrees, lon.m_nMinutes, lon.m_nFraction);
        RestartPolling(context, wasPolling);
        context.SendCommand("LL" + latitude + longitude);
        context.SendCommand("EL" + LegacyHeightDigits(dlg.m_strHeight));
        context.SendCommand("ELL");
        context.SendCommand("EEL");
        return;
    }

    const char* keyword = PositionKeyword(type);
    // No position command for this type; the page resumes polling on its
    // next paint.
    if (keyword == nullptr) return;
    const std::string command =
        keyword +
        Format("%02lld,%02lld.%04lld,%1s", lat.m_nDegrees, lat.m_nMinutes, lat.m_nFraction,
               dlg.m_strLatHemisphere.c_str()) +
        "," +
        Format("%03lld,%02lld.%04lld,%1s", lon.m_nDegrees, lon.m_nMinutes, lon.m_nFraction,
               dlg.m_strLonHemisphere.c_str()) +
        "," + TrimTrailingPrompts(dlg.m_strHeight);
    context.Events().RedrawViewNow();
    RestartPolling(context, wasPolling);
    context.SendCommand(command);
}

}  // namespace velmor
