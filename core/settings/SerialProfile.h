#pragma once
// The serial keys of the settings file, section "Serial Port Commmunications"
// (spelled with three m's, as units' installations have it), and the port to
// device mapping of section "Port Devices".

#include <string>

#include "link/SerialSettings.h"
#include "settings/Profile.h"

namespace velmor {

inline constexpr const char* kSerialSection = "Serial Port Commmunications";
inline constexpr const char* kPortDevicesSection = "Port Devices";

// Start-up reading: Baud defaults to 19200. Data bits forced to 8, stop bits
// outside 0..2 become 1.
void LoadSerialSettingsAtStartup(const CProfile& profile, SerialSettings& settings);
// The baud switch reads the section again with its own defaults (Baud 9600).
void LoadSerialSettings(const CProfile& profile, SerialSettings& settings);
// Writes "Port", "Baud", "StopBits", "DataBits" in that order.
void SaveSerialSettings(CProfile& profile, const SerialSettings& settings);
// "None" 0, "Odd" 1, "Even" 2, anything else 0 (exact, case-sensitive).
int ParityFromName(const std::string& name);
// Device path of COM port |port|: section "Port Devices" key |port| when
// present, else /dev/ttyS(port-1).
std::string PortDevicePath(const CProfile& profile, int port);

}  // namespace velmor
