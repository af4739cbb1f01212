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

void CStabilityMetrics::CSeries::Show(double value)
{
    if (!std::isfinite(value)) {
        if (m_pGauge != nullptr) m_pFamily->Remove(m_pGauge);
        m_pGauge = nullptr;
        return;
    }
    if (m_pGauge == nullptr) m_pGauge = &m_pFamily->Add(m_labels);
    m_pGauge->Set(value);
}

CStabilityMetrics::CStabilityMetrics(prometheus::Registry& registry, std::string device,
                                     CStabilityMetricsOptions options)
    : m_strDevice(std::move(device)), m_options(std::move(options)),
      m_adev(BuildGauge()
                 .Name("velmor_adev")
                 .Help("Overlapping Allan deviation of the 1PPS over the window")
                 .Register(registry)),
      m_tdev(BuildGauge()
                 .Name("velmor_tdev")
                 .Help("Time deviation of the 1PPS over the window, seconds")
                 .Register(registry)),
      m_mtie(BuildGauge()
                 .Name("velmor_mtie_seconds")
                 .Help("Maximum time interval error of the 1PPS over the window")
                 .Register(registry)),
      m_margin(BuildGauge()
                   .Name("velmor_mask_margin_ratio")
                   .Help("Worst measured / mask value over octave tau 1..2048 s; above 1 the mask is broken")
                   .Register(registry)),
      m_predicted(BuildGauge()
                      .Name("velmor_holdover_predicted_time_error_seconds")
                      .Help("Time error predicted from the frequency at holdover entry and the aging before it")
                      .Register(registry))
{
    // Families are shared between the units of one monitor; the series are
    // each unit's own.
    for (LiveWindow window : kLiveWindows) {
        for (std::size_t tau : CLiveStability::kReportedTaus) {
            const prometheus::Labels labels{{"device", m_strDevice},
                                            {"source", m_options.m_strSource},
                                            {"window", WindowName(window)},
                                            {"tau_seconds", std::to_string(tau)}};
            m_deviations.push_back(MakeSeries(m_adev, labels));
            m_deviations.push_back(MakeSeries(m_tdev, labels));
            m_deviations.push_back(MakeSeries(m_mtie, labels));
        }
    }
    for (WanderMask mask : kWanderMasks) {
        for (WanderStatistic statistic : kWanderStatistics) {
            for (LiveWindow window : kLiveWindows) {
                m_margins.push_back(MakeSeries(m_margin, {{"device", m_strDevice},
                                                          {"source", m_options.m_strSource},
                                                          {"mask", MaskName(mask)},
                                                          {"statistic", StatisticName(statistic)},
                                                          {"window", WindowName(window)}}));
            }
        }
    }
    m_prediction = MakeSeries(m_predicted, {{"device", m_strDevice}, {"source", m_options.m_strSource}});
}

CStabilityMetrics::CSeries CStabilityMetrics::MakeSeries(prometheus::Family<prometheus::Gauge>& family,
                                                         prometheus::Labels labels) const
{
    CSeries series;
    series.m_pFamily = &family;
    series.m_labels = std::move(labels);
    return series;
}

void CStabilityMetrics::OnObservation(const CObservation& observation)
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
        return;
    default: return;
    }
    const CReadings& readings = observation.m_readings;
    if (readings.JustReported(readings.m_ppsOffsetNs) && readings.m_ppsOffsetNs.m_value)
        m_ppsPending = *readings.m_ppsOffsetNs.m_value * 1e-9;
    if (!readings.JustReported(readings.m_unitTime) || !readings.m_unitTime.m_value) return;
    const CUnitTime& time = *readings.m_unitTime.m_value;
    const std::optional<std::int64_t> second = UnitSecondsCount(time.m_nYear, time.m_strTimeOfDay);
    if (!second) return;
    OnUnitSecond(*second, readings);
    m_ppsPending.reset();
}

void CStabilityMetrics::OnUnitSecond(std::int64_t second, const CReadings& readings)
{
    if (m_lastSecond && second < *m_lastSecond) {
        // The unit's clock went back: its seconds no longer line up.
        m_predictor.Reset();
        m_lockedSince.reset();
    }
    m_lastSecond = second;

    const bool locked = IsLocked(readings);
    if (!locked) m_lockedSince.reset();
    else if (!m_lockedSince) m_lockedSince = second;
    const bool settled = locked && second - *m_lockedSince >= kSettleSeconds;
    const double phase = m_ppsPending.value_or(kNaN);
    m_live.Add(second, phase, settled && m_ppsPending.has_value());

    const auto value = [](const CReading<double>& reading) {
        return reading.m_value ? *reading.m_value : kNaN;
    };
    const bool holdover = readings.m_disciplineState.m_value &&
                          readings.m_disciplineState.m_value->m_value == DisciplineState::Holdover;
    if (settled) {
        const double frequency = value(readings.m_frequencyError);
        // Locked, the steered error stays near zero whatever the crystal
        // does; the crystal's own drift is what the DAC does against it.
        const double freeRunning =
            m_options.m_dDacGain != 0.0 ? -m_options.m_dDacGain * value(readings.m_dac) : frequency;
        m_predictor.OnLocked(second, phase, frequency, freeRunning);
    } else if (holdover) {
        // A unit reports its estimate after its time in the same second: the
        // one that came just before the loss is the latest.
        m_predictor.OnHoldover(second, value(readings.m_frequencyError));
    } else if (!locked) {
        m_predictor.OnOther();
    }
    Publish();
}

void CStabilityMetrics::Publish()
{
    std::size_t next = 0;
    for (LiveWindow window : kLiveWindows) {
        for (std::size_t tau : CLiveStability::kReportedTaus) {
            const CStabilityPoint point = m_live.Deviation(window, tau);
            m_deviations[next++].Show(point.m_adev.m_dValue);
            m_deviations[next++].Show(point.m_tdev.m_dValue);
            m_deviations[next++].Show(m_live.Mtie(window, tau));
        }
    }
    next = 0;
    for (WanderMask mask : kWanderMasks) {
        for (WanderStatistic statistic : kWanderStatistics) {
            for (LiveWindow window : kLiveWindows) m_margins[next++].Show(m_live.Margin(mask, statistic, window));
        }
    }
    m_prediction.Show(m_predictor.Predicted().value_or(kNaN));
}

}  // namespace velmor
