#pragma once
// The simulated unit's clock: an oven oscillator steered by a loop that
// compares its 1PPS with the GPS receiver's, one step per second.
//
//   temperature  a daily sinusoid around the oven's set point plus a slow,
//                mean-reverting random walk;
//   frequency    a fixed offset, a random walk, the temperature times a
//                coefficient, the crystal's aging (a linear drift), and the
//                DAC's steering; while the oven is still cold it runs a
//                further 1e-8 off;
//   phase        the integral of the frequency: the true time difference
//                between the unit's 1PPS and GPS;
//   measurement  the phase plus the receiver's white phase noise, which is
//                what the unit reports and what the loop sees;
//   loop         proportional-integral on the measured phase; the DAC holds
//                the integral plus the proportional term. Open, the DAC holds
//                still and the phase walks off.
//
// Everything is plain arithmetic on a private random engine, so a seed gives
// the same run every time, and the class can be exercised without a terminal.
// Header-only so that the tests can build it without the simulator.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace velmor {

struct CSimNoiseConfig {
    double m_dPpsNoiseNs = 3.0;    // rms white phase noise of the receiver's 1PPS
    double m_dFreqWalk = 5e-13;    // random-walk frequency noise, per square root of a second
    double m_dTempCoeff = 1e-11;   // fractional frequency per kelvin
    double m_dLoopSeconds = 1000;   // time constant of the disciplining loop
    double m_dAgingPerDay = 0;      // linear frequency drift, fractional frequency per day
};

class CSimOscillator {
public:
    static constexpr double kDacCentre = 32768;
    static constexpr double kDacGain = 2e-12;      // fractional frequency per DAC step
    static constexpr double kSetPoint = 38.5;      // the oven's mean temperature, Celsius
    static constexpr double kColdOffset = 1e-8;    // extra frequency offset while warming up

    CSimOscillator(const CSimNoiseConfig& config, std::uint32_t nSeed)
        : m_config(config), m_random(nSeed * 2246822519u + 3266489917u)
    {
        // Each unit's crystal sits somewhere else.
        m_dFixedOffset = -3e-9 + 1e-9 * Gauss();
        m_dTempPhase = 6.283185307179586 * Uniform();
        m_dTemperature = m_dTempReading = Temperature();
        // The stored DAC value compensates the crystal and today's oven
        // temperature to a few parts in 1e12.
        m_dIntegral = -m_dFixedOffset - m_config.m_dTempCoeff * (m_dTemperature - kSetPoint) + 2e-12 * Gauss();
    }

    // One second passes. |bGps|: the receiver delivers its 1PPS; |bSteer|:
    // the loop is closed on it; |bCold|: the oven is still warming up.
    void Step(bool bGps, bool bSteer, bool bCold)
    {
        ++m_nSeconds;
        m_dWalk += m_config.m_dFreqWalk * Gauss();
        m_dTempWalk += 0.003 * Gauss() - m_dTempWalk / 20000.0;
        m_dTemperature = Temperature();
        const double frequency = Frequency() + (bCold ? kColdOffset : 0.0);
        m_dPhaseNs += frequency * 1e9;
        m_bMeasured = bGps;
        if (bGps) m_dMeasuredNs = m_dPhaseNs + m_config.m_dPpsNoiseNs * Gauss();
        else m_dMeasuredNs = m_dPhaseNs;  // no reference: the unit reports its own prediction
        m_dTempReading = m_dTemperature + 0.03 * Gauss();
        if (!(bGps && bSteer)) {
            m_dProportional = 0;  // open: the DAC holds the integral alone
            return;
        }
        const double omega = 1.0 / std::max(1.0, m_config.m_dLoopSeconds);
        const double error = m_dMeasuredNs * 1e-9;
        m_dIntegral -= omega * omega * error;
        m_dProportional = -2.0 * 0.7 * omega * error;
        AddSample(m_dMeasuredNs);
    }

    // Lock acquisition: the unit sets its 1PPS onto the receiver's and
    // starts its frequency estimate afresh.
    void Align()
    {
        m_dPhaseNs = m_config.m_dPpsNoiseNs * Gauss();
        m_dMeasuredNs = m_dPhaseNs;
        m_dProportional = 0;
        ClearSamples();
    }

    // A DAC value set by hand: the loop goes on from there.
    void SetDac(double dac)
    {
        m_dIntegral = (std::clamp(dac, 0.0, 65535.0) - kDacCentre) * kDacGain;
        m_dProportional = 0;
        ClearSamples();
    }

    double Dac() const { return std::clamp(kDacCentre + (m_dIntegral + m_dProportional) / kDacGain, 0.0, 65535.0); }
    double PhaseNs() const { return m_dPhaseNs; }
    // The time difference the unit reports: measured when it has GPS.
    double MeasuredNs() const { return m_dMeasuredNs; }
    bool Measured() const { return m_bMeasured; }
    double Temperature() const
    {
        const double day = static_cast<double>(m_nSeconds) / 86400.0;
        return kSetPoint + 1.5 * std::sin(6.283185307179586 * day + m_dTempPhase) + m_dTempWalk;
    }
    double TemperatureReading() const { return m_dTempReading; }
    // The steered oscillator's fractional frequency error right now.
    double Frequency() const
    {
        return m_dFixedOffset + m_dWalk + m_config.m_dTempCoeff * (m_dTemperature - kSetPoint) +
               m_config.m_dAgingPerDay * static_cast<double>(m_nSeconds) / 86400.0 + (Dac() - kDacCentre) * kDacGain;
    }

    // The unit's own frequency estimate: the least-squares slope of the
    // measured phase over the samples since the last call, and its standard
    // error. False, leaving both alone, with fewer than three samples.
    bool EstimateFrequency(double& estimate, double& stdError)
    {
        const double n = m_nSamples;
        if (m_nSamples < 3) return false;
        const double st = m_dSumT / n, sx = m_dSumX / n;
        const double stt = m_dSumTT - n * st * st;
        const double stx = m_dSumTX - n * st * sx;
        const double sxx = m_dSumXX - n * sx * sx;
        const double slope = stx / stt;  // ns per second
        const double residual = std::max(0.0, (sxx - slope * stx) / (n - 2));
        estimate = slope * 1e-9;
        stdError = std::sqrt(residual / stt) * 1e-9;
        ClearSamples();
        return true;
    }

private:
    double Gauss() { return m_gauss(m_random); }
    double Uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(m_random); }
    void AddSample(double x)
    {
        // Times relative to the first sample keep the sums well conditioned.
        if (m_nSamples == 0) m_nFirstSample = m_nSeconds;
        const double t = static_cast<double>(m_nSeconds - m_nFirstSample);
        ++m_nSamples;
        m_dSumT += t;
        m_dSumX += x;
        m_dSumTT += t * t;
        m_dSumTX += t * x;
        m_dSumXX += x * x;
    }
    void ClearSamples()
    {
        m_nSamples = 0;
        m_dSumT = m_dSumX = m_dSumTT = m_dSumTX = m_dSumXX = 0;
    }

    CSimNoiseConfig m_config;
    std::mt19937 m_random;
    std::normal_distribution<double> m_gauss{0.0, 1.0};
    std::int64_t m_nSeconds = 0;
    double m_dFixedOffset = 0;
    double m_dWalk = 0;
    double m_dTempPhase = 0;
    double m_dTempWalk = 0;
    double m_dTemperature = kSetPoint;
    double m_dTempReading = kSetPoint;
    double m_dPhaseNs = 0;
    double m_dMeasuredNs = 0;
    bool m_bMeasured = false;
    double m_dIntegral = 0;
    double m_dProportional = 0;
    int m_nSamples = 0;
    std::int64_t m_nFirstSample = 0;
    double m_dSumT = 0, m_dSumX = 0, m_dSumTT = 0, m_dSumTX = 0, m_dSumXX = 0;
};

}  // namespace velmor
