#include "ObservationPrinter.h"

#include <iterator>

namespace velmor::replay {

namespace {

struct CReportedName {
    Reported m_what;
    const char* m_pszName;
};

constexpr CReportedName kReportedNames[] = {
    {Reported::UnitTime, "unit-time"},           {Reported::TimeMode, "time-mode"},
    {Reported::Tfom, "tfom"},                    {Reported::DisciplineState, "discipline-state"},
    {Reported::PpsOffset, "pps-offset"},         {Reported::FrequencyError, "frequency-error"},
    {Reported::FrequencyStdError, "frequency-std-error"}, {Reported::Dac, "dac"},
    {Reported::Temperature, "temperature"},      {Reported::PositionMode, "position-mode"},
    {Reported::Position, "position"},            {Reported::Satellites, "satellites"},
    {Reported::CoastDuration, "coast-duration"}, {Reported::SelfTest, "self-test"},
    {Reported::LeapSeconds, "leap-seconds"},     {Reported::Identification, "identification"},
    {Reported::Firmware, "firmware"},            {Reported::PulseStatus, "pulse-status"},
    {Reported::Velocity, "velocity"},            {Reported::RawPpsOffset, "raw-pps-offset"},
};

const char* EventName(LinkEvent event)
{
    switch (event) {
    case LinkEvent::SentenceHandled: return "sentence";
    case LinkEvent::UnrecognisedBody: return "unrecognised";
    case LinkEvent::ChecksumError: return "checksum-error";
    case LinkEvent::BytesReceived: return "rx";
    case LinkEvent::BytesSent: return "tx";
    case LinkEvent::WriteFailure: return "write-failure";
    case LinkEvent::PortOpened: return "port-opened";
    case LinkEvent::PortOpenFailed: return "port-open-failed";
    case LinkEvent::PortClosed: return "port-closed";
    case LinkEvent::DataStale: return "data-stale";
    case LinkEvent::DataResumed: return "data-resumed";
    case LinkEvent::AutoRecovery: return "auto-recovery";
    case LinkEvent::PortLost: return "port-lost";
    case LinkEvent::PortRestored: return "port-restored";
    case LinkEvent::UnitReidentified: return "unit-reidentified";
    case LinkEvent::UnitRestarted: return "unit-restarted";
    case LinkEvent::PollingPaused: return "polling-paused";
    case LinkEvent::PollingResumed: return "polling-resumed";
    }
    return "?";
}

}  // namespace

std::string DescribeObservation(const CObservation& observation)
{
    std::string text = EventName(observation.m_event);
    switch (observation.m_event) {
    case LinkEvent::SentenceHandled:
    case LinkEvent::UnrecognisedBody:
        text += ' ';
        text += observation.m_keyword;
        for (const CReportedName& name : kReportedNames) {
            if (!observation.Has(name.m_what)) continue;
            text += ' ';
            text += name.m_pszName;
        }
        break;
    case LinkEvent::BytesReceived:
    case LinkEvent::BytesSent:
    case LinkEvent::WriteFailure:
        text += ' ' + std::to_string(observation.m_bytes.size());
        break;
    default: break;
    }
    return text;
}

void CObservationPrinter::OnObservation(const CObservation& observation)
{
    ++m_nSeen;
    if (m_bPrinting) m_emit("observe " + DescribeObservation(observation));
}

}  // namespace velmor::replay
