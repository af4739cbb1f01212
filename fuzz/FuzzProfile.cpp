// Arbitrary settings-file contents: reading every key the program reads,
// then writing keys, must be defined and must keep the other lines.

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/SerialSettings.h"
#include "settings/FontSettings.h"
#include "settings/Profile.h"
#include "settings/SerialProfile.h"

using namespace velmor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CProfile profile = CProfile::InMemory(std::string(reinterpret_cast<const char*>(data), size));
    SerialSettings serial;
    LoadSerialSettingsAtStartup(profile, serial);
    CLogFont font;
    LoadFontSettings(profile, font);
    PortDevicePath(profile, serial.m_nPort);
    SaveSerialSettings(profile, serial);
    SaveFontSettings(profile, font);
    profile.WriteString("WindowRect", "left", "10");
    SerialSettings again;
    LoadSerialSettingsAtStartup(profile, again);
    if (again.m_nBaud != serial.m_nBaud || again.m_nPort != serial.m_nPort) __builtin_trap();
    return 0;
}
