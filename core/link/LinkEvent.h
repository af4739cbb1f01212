#pragma once
// The things that happen on the line, as the link and the program report them
// to whoever watches (link health, traffic capture, alarms, metrics).

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmor {

enum class LinkEvent : std::uint8_t {
    SentenceHandled,   // a body whose keyword is in the table was dispatched
    UnrecognisedBody,  // a non-empty body whose keyword is not in the table
    ChecksumError,     // a checksummed sentence whose checksum did not match
    BytesReceived,     // the bytes one read of the port returned
    BytesSent,         // one framed command, as written
    WriteFailure,      // a command could not be written (the bytes it would have been)
    PortOpened,        // the port opened and took the line settings
    PortOpenFailed,    // an attempt to open the port failed
    PortClosed,        // the program closed the port
    // What the program concludes about the line over time (told by the
    // program, not the link):
    DataStale,         // no time report for the stale limit while polling
    DataResumed,       // the first time report after stale data
    AutoRecovery,      // polling restarted by itself after silence
    PortLost,          // the device hung up or vanished; reconnecting
    PortRestored,      // the lost device opened again
    UnitReidentified,  // the unit identified itself again after silence or loss
    UnitRestarted,     // after re-identification the unit showed it had restarted
                       // (warm-up where it was in another state, or its time went back)
    // Told by whoever holds polling stopped on purpose (a setup dialog):
    PollingPaused,     // polling stops while the dialog is open; no link loss
    PollingResumed,    // polling runs again after the pause
};

// What the link tells about its own events.
class ILinkEventListener {
public:
    virtual ~ILinkEventListener() = default;
    virtual void OnLinkEvent(LinkEvent event, std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace velmor
