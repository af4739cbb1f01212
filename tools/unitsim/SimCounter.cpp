#include "SimCounter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmor {

CSimCounter::CSimCounter(const CSimCounterConfig& config, std::uint32_t seed)
    : m_config(config), m_random(seed * 2654435761u + 12345u)
{
}

bool CSimCounter::Chance(double percent)
{
    return percent > 0 && std::uniform_real_distribution<double>(0.0, 100.0)(m_random) < percent;
}

std::string CSimCounter::Timestamp(std::int64_t ps, char channel)
{
    // Ten-picosecond units, rounded, as firmware since 2020 prints them.
    const std::int64_t tens = (ps + 5) / 10;
    char line[64];
    std::snprintf(line, sizeof line, "%lld.%011lld ch%c\r\n", static_cast<long long>(tens / 100000000000),
                  static_cast<long long>(tens % 100000000000), channel);
    return line;
}

std::string CSimCounter::Second(std::int64_t second, double truePhaseNs)
{
    std::string out;
    if (m_config.m_dBannerEvery > 0 && second > 1 &&
        static_cast<std::int64_t>(second / m_config.m_dBannerEvery) !=
            static_cast<std::int64_t>((second - 1) / m_config.m_dBannerEvery)) {
        // The counter restarts: its banner, and its seconds begin again.
        out += "# TAPR TICC Timestamping Counter\r\n"
               "# Version: simulated\r\n"
               "Mode: timestamp  Clock: 10 MHz external\r\n";
        m_nCounterStart = second - 1;
    }
    double phaseNs = std::clamp(truePhaseNs, -2.4e8, 7.4e8);
    if (m_config.m_dSlipAt >= 0 && static_cast<double>(second) >= m_config.m_dSlipAt) phaseNs += kSlipNs;
    const double noisePs = m_config.m_dNoisePs * m_gauss(m_random);
    const std::int64_t secondPs = (second - m_nCounterStart) * 1000000000000;
    const std::int64_t b = secondPs + kReferenceFractionPs;
    const std::int64_t a = b + std::llround(phaseNs * 1000.0 + noisePs);
    std::string lineA = Timestamp(a, 'A');
    std::string lineB = Timestamp(b, 'B');
    if (m_config.m_bReading) {
        char line[64];
        std::snprintf(line, sizeof line, "%.12e TI(A->B)\r\n", static_cast<double>(a - b) * 1e-12);
        lineA = line;
        lineB.clear();
    }
    // The earlier edge is timestamped first, unless the fault swaps them.
    const bool aFirst = (a <= b) != Chance(m_config.m_dSwapPercent);
    const std::string* order[2] = {&lineA, &lineB};
    if (!aFirst) std::swap(order[0], order[1]);
    for (const std::string* line : order) {
        if (line->empty() || Chance(m_config.m_dDropPercent)) continue;
        if (Chance(m_config.m_dGarbagePercent)) {
            // Never a number: a letter first.
            std::string junk(1, static_cast<char>('G' + m_random() % 20));
            const int length = 1 + static_cast<int>(m_random() % 40);
            for (int i = 0; i < length; ++i) junk += static_cast<char>(0x21 + m_random() % 94);
            out += junk + "\r\n";
        }
        out += *line;
    }
    return out;
}

}  // namespace velmor
