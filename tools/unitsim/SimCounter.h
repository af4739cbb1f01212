#pragma once
// A time-interval counter beside the simulated unit, clocked from a perfect
// reference: each of the unit's seconds it timestamps the unit's 1PPS on
// channel A and the reference's own 1PPS on channel B, in the counter's own
// time scale (seconds since it started), as a TICC in timestamp mode prints
// them: "SECONDS.FRACTION chX" with 11 fraction digits, CR LF. Channel A
// carries the unit's true phase plus the counter's white noise; B carries
// nothing but the reference. In reading mode it prints the interval A - B
// instead ("-1.234567890000e-08 TI(A->B)").
//
// Faults: lines dropped, B before A, the counter's boot banner now and then
// (the counter restarting: its seconds begin again), garbage lines, and a
// step of 5 us on channel A from a given second on (beyond the 1 us a
// reader takes for a slip).
// Plain arithmetic on its own random engine, so tests can drive it without
// a terminal.

#include <cstdint>
#include <random>
#include <string>

namespace velmor {

struct CSimCounterConfig {
    bool m_bReading = false;
    double m_dNoisePs = 60;
    double m_dDropPercent = 0;
    double m_dSwapPercent = 0;
    double m_dBannerEvery = 0;  // seconds; 0 never
    double m_dGarbagePercent = 0;
    double m_dSlipAt = -1;  // seconds after start; negative never
};

class CSimCounter {
public:
    CSimCounter(const CSimCounterConfig& config, std::uint32_t seed);

    // The lines for the unit's second |second| (counted from the start, 1
    // for the first), whose 1PPS sits |truePhaseNs| off the reference.
    std::string Second(std::int64_t second, double truePhaseNs);

    // The reference's 1PPS in the counter's time scale, as a fraction of a
    // second, in picoseconds.
    static constexpr std::int64_t kReferenceFractionPs = 250000000000;
    static constexpr double kSlipNs = 5000;

private:
    bool Chance(double percent);
    static std::string Timestamp(std::int64_t ps, char channel);

    CSimCounterConfig m_config;
    std::mt19937 m_random;
    std::normal_distribution<double> m_gauss{0.0, 1.0};
    std::int64_t m_nCounterStart = 0;  // the unit's second the counter started at
};

}  // namespace velmor
