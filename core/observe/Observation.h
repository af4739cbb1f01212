#pragma once
// What the unit said, as plain data, for consumers that are not the page:
// the history recorder, the alarms, the metrics exporter, the link-health
// window. The core hands one CObservation to every registered observer after
// each handled sentence and at each link event, in arrival order. An
// observation is a small record: a bitmask of the quantities the sentence
// carried plus a const reference to the unit state that holds their values
// now. Nothing is copied; an observer that keeps something copies it itself.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/LinkEvent.h"
#include "protocol/Reported.h"
#include "protocol/UnitState.h"
#include "readings/Readings.h"

namespace velmor {

struct CObservation {
    LinkEvent m_event;
    // For SentenceHandled: the Reported bits of what the sentence carried.
    std::uint32_t m_uReported = 0;
    // For SentenceHandled and UnrecognisedBody: the keyword (valid only
    // during the call).
    std::string_view m_keyword;
    // For BytesReceived and BytesSent (valid only during the call).
    std::span<const std::uint8_t> m_bytes;
    // The unit state after the sentence was handled (the status page's
    // text); consumers read m_readings instead.
    const CUnitState& m_state;
    // The typed readings, decoded once after the sentence was handled.
    const CReadings& m_readings;
    // The host's millisecond tick at the time of the event.
    std::uint64_t m_qwTick = 0;

    bool Has(Reported what) const { return (m_uReported & static_cast<std::uint32_t>(what)) != 0; }
};

class IUnitObserver {
public:
    virtual ~IUnitObserver() = default;
    virtual void OnObservation(const CObservation& observation) = 0;
};

}  // namespace velmor
