#pragma once
// The unit's readings as typed values, decoded once from the unit state after
// each handled sentence: numbers as numbers, the discipline state, time mode
// and position mode as enums that keep the unit's own character, and the
// satellites as a list. Every consumer that is not the status page (history,
// alarms, metrics, link health, the windows) reads this, never the page text,
// so they all see the same numbers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmor {

// One reading and when it was last reported: the host tick, and the number
// of the handled sentence that carried it. A reading the unit never
// reported has no tick; a value it reported as text that is no number of
// its kind has a tick but no value.
template <typename T>
struct CReading {
    std::optional<T> m_value;
    std::optional<std::uint64_t> m_qwTick;
    std::uint64_t m_qwSentence = 0;

    bool Reported() const { return m_qwTick.has_value(); }
    void Set(std::optional<T> value, std::uint64_t tick, std::uint64_t sentence)
    {
        m_value = std::move(value);
        m_qwTick = tick;
        m_qwSentence = sentence;
    }
};

// The oscillator discipline state ('0' ... '5'); anything else is Unknown,
// with the unit's character kept beside it.
enum class DisciplineState : std::uint8_t { WarmUp, Locked, Holdover, Recovering, Manual, Learning, Unknown };
// The time scale the unit reports its time in.
enum class TimeMode : std::uint8_t { Gps, Utc, LocalGps, LocalUtc, Unknown };
// How the unit knows its antenna position.
enum class PositionMode : std::uint8_t { Dynamic, Known, Averaging, Unknown };

template <typename E>
struct CEnumReading {
    E m_value = E::Unknown;
    char m_chRaw = 0;  // the unit's character (0 before any report)
};

struct CSatellite {
    int m_nPrn = 0;
    int m_nStrength = 0;
    bool m_bInUse = false;  // the status page labels it "Using"
};

struct CUnitTime {
    int m_nYear = 0;
    int m_nMonth = 0;
    int m_nDay = 0;
    std::string m_strTimeOfDay;  // "DDD:HH:MM:SS" as the unit sent it
};

struct CReadings {
    // Identification
    bool m_bIdentified = false;
    int m_nProductType = -1;
    std::string m_strPartNumber;
    // The firmware version text; it holds question marks while the unit
    // has not said (m_bFirmwareKnown false).
    CReading<std::string> m_firmware;
    bool m_bFirmwareKnown = false;

    // Time and status
    // The time report (TIME or TM, whole or not): the heartbeat that link
    // health and staleness count from.
    CReading<bool> m_timeReport;
    CReading<CUnitTime> m_unitTime;
    CReading<CEnumReading<TimeMode>> m_timeMode;
    CReading<int> m_tfom;  // 0 best ... 9 worst
    CReading<CEnumReading<DisciplineState>> m_disciplineState;
    CReading<int> m_leapSeconds;       // 0 ... 99
    CReading<int> m_coastDurationS;    // time coasting since the lock was lost
    CReading<int> m_coastCount;        // the output-status report's count

    // 1PPS and the oscillator
    CReading<double> m_ppsOffsetNs;
    CReading<double> m_rawPpsOffsetNs;
    CReading<double> m_frequencyError;
    CReading<double> m_frequencyStdError;
    CReading<double> m_dac;
    CReading<double> m_temperatureC;

    // Position and satellites
    CReading<CEnumReading<PositionMode>> m_positionMode;
    // The channels that track a satellite, in channel order.
    CReading<std::vector<CSatellite>> m_satellites;
    int m_nSatellitesTracked = 0;
    int m_nSatellitesUsed = 0;
    std::optional<double> m_dMeanStrength;  // over the tracked ones

    // The number of handled sentences so far: the last one's number.
    std::uint64_t m_qwSentences = 0;
    // |reading| came with the sentence handled last.
    template <typename T>
    bool JustReported(const CReading<T>& reading) const
    {
        return reading.m_qwTick && reading.m_qwSentence == m_qwSentences;
    }
};

}  // namespace velmor
