#pragma once
// The program-wide serial line settings and the textual line definition
// ("COM1: baud=19200 parity=N data=8 stop=1") they are applied through.

#include <string>

#include "platform/SerialDevice.h"

namespace velmor {

struct SerialSettings {
    int m_nPort = 1;
    int m_nBaud = 19200;
    int m_nParity = 0;  // 0 none, 1 odd, 2 even; anything else counts as none
    int m_nDataBits = 8;
    int m_nStopBits = 1;
};

// The rates the serial-port dialog offers, in its list order.
inline constexpr int kOfferedBaudRates[] = {2400, 4800, 9600, 19200};

// The unit only speaks 8 data bits; stop bits below 0 or above 2 become 1.
// Opening the port repairs the record itself, so later saves write it back.
void RepairLineSettings(SerialSettings& settings);

// The definition string of |settings| as the port is opened with them, i.e.
// with data bits and stop bits repaired; |settings| itself is not changed.
std::string BuildDefinitionString(const SerialSettings& settings);

// Parses a definition string into line settings. False when the text is
// malformed or names a rate, data size, parity or stop-bit count that the
// serial driver cannot apply.
bool ParseDefinitionString(const std::string& definition, LineSettings& out);

// True for the rates the serial driver offers (50 ... 4000000 bit/s).
bool IsStandardBaudRate(int baud);

}  // namespace velmor
