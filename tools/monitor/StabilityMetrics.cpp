#include "StabilityMetrics.h"

#include <cmath>
#include <limits>

#include "readings/Rules.h"

namespace velmor {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using prometheus::BuildGauge;

}  // namespace

std::optional<std::int64_t> UnitSecondsCount(int year, const std::string& dayTime)
{
    // "DDD:HH:MM:SS", as the time report stores it.
    if (year < 1 || year > 9999 || dayTime.size() != 12 || dayTime[3] != ':' || dayTime[6] != ':' ||
        dayTime[9] != ':')
        return std::nullopt;
    int fields[4] = {};
    const std::size_t starts[4] = {0, 4, 7, 10};
    for (int i = 0; i < 4; ++i) {
        const std::size_t width = i == 0 ? 3 : 2;
        for (std::size_t k = starts[i]; k < starts[i] + width; ++k) {
            if (dayTime[k] < '0' || dayTime[k] > '9') return std::nullopt;
            fields[i] = fields[i] * 10 + (dayTime[k] - '0');
        }
    }
    const auto [day, hours, minutes, seconds] = fields;
    if (day < 1 || day > 366 || hours > 23 || minutes > 59 || seconds > 60) return std::nullopt;
    // Days from 1970-01-01 to 1 January of |year| (proleptic Gregorian).
    const std::int64_t y = year - 1;
    const std::int64_t days = 365 * (y - 1969) + (y / 4 - 492) - (y / 100 - 19) + (y / 400 - 4) + (day - 1);
    return ((days * 24 + hours) * 60 + minutes) * 60 + seconds;
}

void CStabilitySeries::CSeries::Show(double value)
{
    if (!std::isfinite(value)) {
        if (m_pGauge != nullptr) m_pFamily->Remove(m_pGauge);
        m_pGauge = nullptr;
        return;
    }
    if (m_pGauge == nullptr) m_pGauge = &m_pFamily->Add(m_labels);
    m_pGauge->Set(value);
}

CStabilitySeries::CSeries CStabilitySeries::MakeSeries(prometheus::Family<prometheus::Gauge>& family,
                                                       prometheus::Labels labels)
{
    CSeries series;
    series.m_pFamily = &family;
    series.m_labels = std::move(labels);
    return series;
}

CStabilitySeries::CStabilitySeries(prometheus::Registry& registry, const prometheus::Labels& labels,
                                   bool measuredHoldover)
{
    // Families are shared between the units and sources of one monitor; the
    // series are each one's own.
    auto& adev = BuildGauge()
                     .Name("velmor_adev")
                     .Help("Overlapping Allan deviation of the 1PPS over the window")
                     .Register(registry);
    auto& tdev = BuildGauge()
                     .Name("velmor_tdev")
                     .Help("Time deviation of the 1PPS over the window, seconds")
                     .Register(registry);
    auto& mtie = BuildGauge()
                     .Name("velmor_mtie_seconds")
                     .Help("Maximum time interval error of the 1PPS over the window")
                     .Register(registry);
    auto& margin = BuildGauge()
                       .Name("velmor_mask_margin_ratio")
                       .Help("Worst measured / mask value over octave tau 1..2048 s; above 1 the mask is broken")
                       .Register(registry);
    const auto with = [&labels](std::initializer_list<std::pair<const std::string, std::string>> more) {
        prometheus::Labels all = labels;
        all.insert(more);
        return all;
    };
    for (LiveWindow window : kLiveWindows) {
        for (std::size_t tau : CLiveStability::kReportedTaus) {
            const prometheus::Labels series = with({{"window", WindowName(window)}, {"tau_seconds", std::to_string(tau)}});
            m_deviations.push_back(MakeSeries(adev, series));
            m_deviations.push_back(MakeSeries(tdev, series));
            m_deviations.push_back(MakeSeries(mtie, series));
        }
    }
    for (WanderMask mask : kWanderMasks) {
        for (WanderStatistic statistic : kWanderStatistics) {
            for (LiveWindow window : kLiveWindows) {
                m_margins.push_back(MakeSeries(margin, with({{"mask", MaskName(mask)},
                                                             {"statistic", StatisticName(statistic)},
                                                             {"window", WindowName(window)}})));
            }
        }
    }
    auto& holdover =
        measuredHoldover
            ? BuildGauge()
                  .Name("velmor_holdover_measured_time_error_seconds")
                  .Help("Time error the reference counter measured since the last settled second of lock")
                  .Register(registry)
            : BuildGauge()
                  .Name("velmor_holdover_predicted_time_error_seconds")
                  .Help("Time error predicted from the frequency at holdover entry and the aging before it")
                  .Register(registry);
    m_holdover = MakeSeries(holdover, labels);
}

void CStabilitySeries::Publish(const CLiveStability& live, std::optional<double> holdover)
{
    std::size_t next = 0;
    for (LiveWindow window : kLiveWindows) {
        for (std::size_t tau : CLiveStability::kReportedTaus) {
            const CStabilityPoint point = live.Deviation(window, tau);
            m_deviations[next++].Show(point.m_adev.m_dValue);
            m_deviations[next++].Show(point.m_tdev.m_dValue);
            m_deviations[next++].Show(live.Mtie(window, tau));
        }
    }
    next = 0;
    for (WanderMask mask : kWanderMasks) {
        for (WanderStatistic statistic : kWanderStatistics) {
            for (LiveWindow window : kLiveWindows) m_margins[next++].Show(live.Margin(mask, statistic, window));
        }
    }
    m_holdover.Show(holdover.value_or(kNaN));
}

std::optional<CUnitSecond> CUnitSecondClock::OnObservation(const CObservation& observation)
{
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled: break;
    case LinkEvent::PortLost:
    case LinkEvent::PortClosed:
    case LinkEvent::UnitRestarted:
        // Whatever the unit did meanwhile went unseen: the next second
        // starts a new segment, and the lock must settle again.
        m_ppsPending.reset();
        m_lockedSince.reset();
        return std::nullopt;
    default: return std::nullopt;
    }
    const CReadings& readings = observation.m_readings;
    if (readings.JustReported(readings.m_ppsOffsetNs) && readings.m_ppsOffsetNs.m_value)
        m_ppsPending = *readings.m_ppsOffsetNs.m_value * 1e-9;
    if (!readings.JustReported(readings.m_unitTime) || !readings.m_unitTime.m_value) return std::nullopt;
    const CUnitTime& time = *readings.m_unitTime.m_value;
    const std::optional<std::int64_t> count = UnitSecondsCount(time.m_nYear, time.m_strTimeOfDay);
    if (!count) return std::nullopt;

    CUnitSecond second;
    second.m_llSecond = *count;
    second.m_qwTick = observation.m_qwTick;
    second.m_pps = m_ppsPending;
    m_ppsPending.reset();
    if (m_lastSecond && *count < *m_lastSecond) {
        // The unit's clock went back: its seconds no longer line up.
        second.m_bClockBack = true;
        m_lockedSince.reset();
    }
    m_lastSecond = *count;

    second.m_bLocked = IsLocked(readings);
    if (!second.m_bLocked) m_lockedSince.reset();
    else if (!m_lockedSince) m_lockedSince = *count;
    second.m_bSettled = second.m_bLocked && *count - *m_lockedSince >= kSettleSeconds;
    second.m_bHoldover = readings.m_disciplineState.m_value &&
                         readings.m_disciplineState.m_value->m_value == DisciplineState::Holdover;
    const auto value = [](const CReading<double>& reading) { return reading.m_value ? *reading.m_value : kNaN; };
    second.m_dFrequency = value(readings.m_frequencyError);
    second.m_dDac = value(readings.m_dac);
    return second;
}

CStabilityMetrics::CStabilityMetrics(prometheus::Registry& registry, std::string device,
                                     CStabilityMetricsOptions options)
    : m_strDevice(std::move(device)), m_options(std::move(options)),
      m_series(registry, {{"device", m_strDevice}, {"source", m_options.m_strSource}}, false)
{
}

void CStabilityMetrics::OnObservation(const CObservation& observation)
{
    if (const std::optional<CUnitSecond> second = m_clock.OnObservation(observation)) OnUnitSecond(*second);
}

void CStabilityMetrics::OnUnitSecond(const CUnitSecond& second)
{
    if (second.m_bClockBack) m_predictor.Reset();
    const double phase = second.m_pps.value_or(kNaN);
    m_live.Add(second.m_llSecond, phase, second.m_bSettled && second.m_pps.has_value());

    if (second.m_bSettled) {
        // Locked, the steered error stays near zero whatever the crystal
        // does; the crystal's own drift is what the DAC does against it.
        const double freeRunning =
            m_options.m_dDacGain != 0.0 ? -m_options.m_dDacGain * second.m_dDac : second.m_dFrequency;
        m_predictor.OnLocked(second.m_llSecond, phase, second.m_dFrequency, freeRunning);
    } else if (second.m_bHoldover) {
        // A unit reports its estimate after its time in the same second: the
        // one that came just before the loss is the latest.
        m_predictor.OnHoldover(second.m_llSecond, second.m_dFrequency);
    } else if (!second.m_bLocked) {
        m_predictor.OnOther();
    }
    m_series.Publish(m_live, m_predictor.Predicted());
}

}  // namespace velmor
