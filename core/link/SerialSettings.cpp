#include "link/SerialSettings.h"

#include <cctype>
#include <cstddef>
#include <string_view>

#include "text/Text.h"

namespace velmor {

namespace {

// The rates the termios B-constants offer on Linux.
constexpr int kStandardRates[] = {50,     75,      110,     134,     150,     200,     300,
                                  600,    1200,    1800,    2400,    4800,    9600,    19200,
                                  38400,  57600,   115200,  230400,  460800,  500000,  576000,
                                  921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000,
                                  3500000, 4000000};

// A whole, unsigned decimal number of at most nine digits; false otherwise.
bool ParseSmallNumber(std::string_view text, int& value)
{
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

}  // namespace

bool IsStandardBaudRate(int baud)
{
    for (int rate : kStandardRates)
        if (rate == baud) return true;
    return false;
}

void RepairLineSettings(SerialSettings& settings)
{
    settings.m_nDataBits = 8;
    if (settings.m_nStopBits < 0 || settings.m_nStopBits > 2) settings.m_nStopBits = 1;
}

std::string BuildDefinitionString(const SerialSettings& settings)
{
    SerialSettings repaired = settings;
    RepairLineSettings(repaired);
    std::string text = Format("COM%d: ", repaired.m_nPort);
    text += Format("baud=%d", repaired.m_nBaud);
    text += " parity=";
    text += repaired.m_nParity == 1 ? "O " : repaired.m_nParity == 2 ? "E " : "N ";
    text += Format("data=%d", repaired.m_nDataBits);
    text += Format(" stop=%d", repaired.m_nStopBits);
    return text;
}

bool ParseDefinitionString(const std::string& definition, LineSettings& out)
{
    std::string_view text(definition);
    std::size_t pos = 0;
    auto nextWord = [&]() -> std::string_view {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        std::size_t start = pos;
        while (pos < text.size() && !IsBlank(text[pos])) ++pos;
        return text.substr(start, pos - start);
    };

    // "COMn:" names the port; the device itself is chosen by path elsewhere.
    std::string_view device = nextWord();
    int port = 0;
    if (device.size() < 5 || !EqualNoCase(device.substr(0, 3), "COM") || device.back() != ':' ||
        !ParseSmallNumber(device.substr(3, device.size() - 4), port))
        return false;

    LineSettings result;
    bool bBaud = false, bParity = false, bData = false, bStop = false;
    for (std::string_view word = nextWord(); !word.empty(); word = nextWord()) {
        std::size_t eq = word.find('=');
        if (eq == std::string_view::npos || eq == 0) return false;
        std::string_view key = word.substr(0, eq);
        std::string_view value = word.substr(eq + 1);
        if (EqualNoCase(key, "baud")) {
            if (bBaud || !ParseSmallNumber(value, result.m_nBaud) || !IsStandardBaudRate(result.m_nBaud))
                return false;
            bBaud = true;
        } else if (EqualNoCase(key, "parity")) {
            if (bParity || value.size() != 1) return false;
            char p = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
            if (p != 'N' && p != 'O' && p != 'E') return false;
            result.m_chParity = p;
            bParity = true;
        } else if (EqualNoCase(key, "data")) {
            if (bData || !ParseSmallNumber(value, result.m_nDataBits) || result.m_nDataBits < 5 ||
                result.m_nDataBits > 8)
                return false;
            bData = true;
        } else if (EqualNoCase(key, "stop")) {
            if (bStop || !ParseSmallNumber(value, result.m_nStopBits) || result.m_nStopBits < 1 ||
                result.m_nStopBits > 2)
                return false;
            bStop = true;
        } else {
            return false;
        }
    }
    if (!bBaud) return false;
    out = result;
    return true;
}

}  // namespace velmor
