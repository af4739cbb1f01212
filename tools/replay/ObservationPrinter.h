#pragma once
// The replay's observer of the unit's data: prints each observation as one
// transcript line while printing is on, and otherwise only counts, so that a
// session can be run with an observer registered and must print exactly what
// it prints without one.

#include <functional>
#include <string>

#include "observe/Observation.h"

namespace velmor::replay {

class CObservationPrinter : public IUnitObserver {
public:
    explicit CObservationPrinter(std::function<void(const std::string&)> emit) : m_emit(std::move(emit)) {}
    void OnObservation(const CObservation& observation) override;

    bool m_bPrinting = false;
    std::size_t m_nSeen = 0;

private:
    std::function<void(const std::string&)> m_emit;
};

// "sentence TIMD pps-offset", "rx 42", "port-opened" ...
std::string DescribeObservation(const CObservation& observation);

}  // namespace velmor::replay
