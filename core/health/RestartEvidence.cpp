#include "health/RestartEvidence.h"

namespace velmor {

namespace {

// The time mode as the unit state holds it: '?' until reported.
char TimeModeOf(const CReadings& r) { return r.m_timeMode.m_value ? r.m_timeMode.m_value->m_chRaw : '?'; }

// |count| decimal digits at |at|; -1 when they are not.
int Digits(const std::string& text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<std::int64_t> UnitClockSeconds(int year, const std::string& dayTime)
{
    // "DDD:HH:MM:SS", as the time report stores it.
    if (dayTime.size() != 12 || dayTime[3] != ':' || dayTime[6] != ':' || dayTime[9] != ':') return std::nullopt;
    const int day = Digits(dayTime, 0, 3);
    const int hours = Digits(dayTime, 4, 2);
    const int minutes = Digits(dayTime, 7, 2);
    const int seconds = Digits(dayTime, 10, 2);
    if (year < 0 || year > 9999 || day < 1 || day > 366 || hours < 0 || hours > 23 || minutes < 0 || minutes > 59 ||
        seconds < 0 || seconds > 60)
        return std::nullopt;
    // 367 days a year keeps every day of every year apart; a leap second
    // (second 60) sorts before the next minute.
    const std::int64_t days = static_cast<std::int64_t>(year) * 367 + day;
    return ((days * 24 + hours) * 60 + minutes) * 61 + seconds;
}

void CRestartEvidence::Remember(const CReadings& r)
{
    if (r.JustReported(r.m_disciplineState)) m_last.m_chDiscipline = r.m_disciplineState.m_value->m_chRaw;
    if (r.JustReported(r.m_unitTime)) {
        m_last.m_chTimeMode = TimeModeOf(r);
        m_last.m_llSeconds = UnitClockSeconds(r.m_unitTime.m_value->m_nYear, r.m_unitTime.m_value->m_strTimeOfDay);
    }
}

void CRestartEvidence::OnInterruption()
{
    // A second interruption with no report since (stale, then the device
    // lost) takes the same values; answers from before it no longer count.
    m_bInterrupted = true;
    m_before = m_last;
    m_bReidentified = false;
    m_bDisciplineSeen = false;
}

void CRestartEvidence::OnReidentified()
{
    if (!m_bInterrupted) {
        m_bInterrupted = true;
        m_before = m_last;
    }
    m_bReidentified = true;
    m_bDisciplineSeen = false;
}

CRestartEvidence::Sign CRestartEvidence::OnReport(const CReadings& r)
{
    // Until the unit has answered, reports are a frozen unit's backlog or
    // replies to the polls: they prove nothing either way.
    if (!m_bInterrupted || !m_bReidentified) {
        Remember(r);
        return Sign::None;
    }
    Sign sign = Sign::None;
    if (r.JustReported(r.m_disciplineState) && !m_bDisciplineSeen) {
        m_bDisciplineSeen = true;
        if (r.m_disciplineState.m_value->m_value == DisciplineState::WarmUp && m_before.m_chDiscipline &&
            *m_before.m_chDiscipline != '0')
            sign = Sign::WarmUp;
    }
    const bool timeReport = r.JustReported(r.m_unitTime);
    if (sign == Sign::None && timeReport && m_before.m_llSeconds && m_before.m_chTimeMode == TimeModeOf(r)) {
        const auto now = UnitClockSeconds(r.m_unitTime.m_value->m_nYear, r.m_unitTime.m_value->m_strTimeOfDay);
        if (now && *now < *m_before.m_llSeconds) sign = Sign::TimeBack;
    }
    // The first time report after the answer settles it.
    if (sign != Sign::None || timeReport) {
        m_bInterrupted = false;
        m_bReidentified = false;
    }
    Remember(r);
    return sign;
}

}  // namespace velmor
