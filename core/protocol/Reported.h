#pragma once
// The quantities a reply can carry. A handler marks each quantity it stored
// from the sentence, even when the value equals the one already held: a
// repeated 1PPS time difference is still a sample.

#include <cstdint>

namespace velmor {

enum class Reported : std::uint32_t {
    None = 0,
    UnitTime = 1u << 0,         // date and time of day (TIME, TM): m_nYear, m_nMonth, m_nDay, m_strTimeOfDay
    TimeMode = 1u << 1,         // m_chTimeMode (the time scale: see the TIME report)
    Tfom = 1u << 2,             // m_chTfom
    DisciplineState = 1u << 3,  // m_chDisciplineState
    PpsOffset = 1u << 4,        // 1PPS time difference to GPS in ns (TIMD, MD): m_nLastTimeDiff
    FrequencyError = 1u << 5,   // m_strFreqErrorEstimate
    FrequencyStdError = 1u << 6,// m_strStdErrorEstimate
    Dac = 1u << 7,              // m_strDacValue
    Temperature = 1u << 8,      // m_strTemperature
    PositionMode = 1u << 9,     // m_chPositionMode
    Position = 1u << 10,        // m_position and the packed coordinates
    Satellites = 1u << 11,      // m_aSatellites (tracked rows, strengths, track modes)
    CoastDuration = 1u << 12,   // m_nCoastDuration (NTLC, seconds) or m_nCoastCount (OUTQ)
    SelfTest = 1u << 13,        // m_chSelfTestStatus, m_strBuiltInTest
    LeapSeconds = 1u << 14,     // m_strLeapNow, m_strLeapFuture
    Identification = 1u << 15,  // m_nProductType, m_strPartNumber, m_bIdentified (PRID)
    Firmware = 1u << 16,        // m_strVersion, m_strGpsVersion, m_strFirmwarePartNumber (VERS)
    PulseStatus = 1u << 17,     // m_szPulseStatus
    Velocity = 1u << 18,        // m_dVelocityEast, m_dVelocityNorth, m_dVelocityUp
    RawPpsOffset = 1u << 19,    // 1PPS raw time difference in ns (TIMR): m_dRawTimeDiff
};

constexpr Reported operator|(Reported a, Reported b)
{
    return static_cast<Reported>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}

}  // namespace velmor
