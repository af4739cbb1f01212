#pragma once
// Tells a counter's recorder of each row the unit's recorder writes for a
// time report, so that counter samples can name the row they join. The
// unit's CHistoryRecorder takes RowClock as its clock (the row's host time
// is noted as it is taken); the tap is registered on the unit's session
// after that recorder and passes the time on when the handled sentence was
// a time report.

#include <cstdint>
#include <functional>

#include "observe/Observation.h"

namespace velmor {

class CCounterRowTap : public IUnitObserver {
public:
    using Listener = std::function<void(std::uint64_t tick, std::int64_t rowHostMs)>;

    // The system's UTC in milliseconds, strictly increasing, noted for the tap.
    std::int64_t RowClock();
    // Who hears of the rows (empty: nobody).
    void SetListener(Listener listener) { m_listener = std::move(listener); }
    void OnObservation(const CObservation& observation) override;

private:
    Listener m_listener;
    std::int64_t m_llLastRowMs = 0;
    bool m_bRowTaken = false;
};

}  // namespace velmor
