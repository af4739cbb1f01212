#include "settings/SerialProfile.h"

#include "text/Numbers.h"
#include "text/Text.h"

namespace velmor {

namespace {

void LoadSection(const CProfile& profile, SerialSettings& settings, const char* defaultBaud)
{
    settings.m_nPort = AtoI(profile.GetString(kSerialSection, "Port", "1"));
    settings.m_nBaud = AtoI(profile.GetString(kSerialSection, "Baud", defaultBaud));
    settings.m_nDataBits = AtoI(profile.GetString(kSerialSection, "DataBits", "8"));
    settings.m_nParity = ParityFromName(profile.GetString(kSerialSection, "Parity", "None"));
    settings.m_nStopBits = AtoI(profile.GetString(kSerialSection, "StopBits", "1"));
    // The unit only speaks 8 data bits; a hand-edited stop-bit count the line
    // cannot use falls back to one.
    settings.m_nDataBits = 8;
    if (settings.m_nStopBits < 0 || settings.m_nStopBits > 2) settings.m_nStopBits = 1;
}

}  // namespace

void LoadSerialSettingsAtStartup(const CProfile& profile, SerialSettings& settings)
{
    LoadSection(profile, settings, "19200");
}

void LoadSerialSettings(const CProfile& profile, SerialSettings& settings)
{
    LoadSection(profile, settings, "9600");
}

void SaveSerialSettings(CProfile& profile, const SerialSettings& settings)
{
    // Parity is never written: a hand-written value stays as it is.
    profile.WriteString(kSerialSection, "Port", Format("%1d", settings.m_nPort));
    profile.WriteString(kSerialSection, "Baud", Format("%4d", settings.m_nBaud));
    profile.WriteString(kSerialSection, "StopBits", Format("%1d", settings.m_nStopBits));
    profile.WriteString(kSerialSection, "DataBits", Format("%1d", settings.m_nDataBits));
}

int ParityFromName(const std::string& name)
{
    if (name == "Odd") return 1;
    if (name == "Even") return 2;
    return 0;
}

std::string PortDevicePath(const CProfile& profile, int port)
{
    std::string path = profile.GetString(kPortDevicesSection, Format("%d", port), "");
    if (!path.empty()) return path;
    // Widened: a hand-edited Port may be as low as INT_MIN.
    return Format("/dev/ttyS%lld", static_cast<long long>(port) - 1);
}

}  // namespace velmor
