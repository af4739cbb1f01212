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

// Builds the definition string; forces the data bits to 8 and replaces stop
// bits below 0 or above 2 by 1, in the record itself.
std::string BuildDefinitionString(SerialSettings& settings);

// Parses a definition string into line settings. False when the text is
// malformed or names a rate, data size, parity or stop-bit count that the
// serial driver cannot apply.
bool ParseDefinitionString(const std::string& definition, LineSettings& out);

// True for the rates the serial driver offers (50 ... 4000000 bit/s).
bool IsStandardBaudRate(int baud);

}  // namespace velmor
