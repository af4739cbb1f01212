#include "SimFraming.h"

#include <cstdio>

namespace velmor {

std::uint8_t SentenceChecksum(std::string_view body)
{
    std::uint8_t sum = 0;
    for (char ch : body) sum = static_cast<std::uint8_t>(sum ^ static_cast<std::uint8_t>(ch));
    return sum;
}

std::string FrameReply(std::string_view body, bool bLegacy, bool bBadChecksum, std::uint8_t byCorruption)
{
    if (bLegacy) {
        std::string out = "$";
        out += body;
        out += '\r';
        return out;
    }
    std::uint8_t sum = SentenceChecksum(body);
    // A corruption of 0 would leave the checksum intact.
    if (bBadChecksum) sum = static_cast<std::uint8_t>(sum ^ (byCorruption == 0 ? 0x5A : byCorruption));
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(sum));
    std::string out;
    out.reserve(body.size() + 6);
    out += '$';
    out += body;
    out += '*';
    out += digits;
    out += "\r\n";
    return out;
}

void CCommandReader::Feed(const char* data, std::size_t size, std::vector<std::string>& commands)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char ch = data[i];
        if (ch != '\r' && ch != '\n') {
            if (m_strLine.size() >= kMaxLine)
                m_bOverflow = true;
            else
                m_strLine += ch;
            continue;
        }
        if (!m_bOverflow) {
            std::string_view line(m_strLine);
            while (!line.empty() && (line.front() == '$' || line.front() == ' ')) line.remove_prefix(1);
            const std::size_t star = line.find('*');
            if (star != std::string_view::npos) line = line.substr(0, star);
            while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
            if (!line.empty()) commands.emplace_back(line);
        }
        m_strLine.clear();
        m_bOverflow = false;
    }
}

std::vector<std::string> SplitFields(std::string_view body)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = body.find(',', start);
        if (comma == std::string_view::npos) {
            fields.emplace_back(body.substr(start));
            return fields;
        }
        fields.emplace_back(body.substr(start, comma - start));
        start = comma + 1;
    }
}

}  // namespace velmor
