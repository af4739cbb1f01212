// Whatever a network serial server sends: the Telnet decoder, fed in pieces
// whose sizes the input chooses, and the option bookkeeping it drives.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/TelnetCodec.h"

using namespace velmor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0] % 16;
    ++data;
    --size;
    CTelnetDecoder decoder;
    CTelnetOptions options;
    options.Start();
    std::vector<std::uint8_t> decoded;
    std::vector<CTelnetEvent> events;
    for (std::size_t at = 0; at < size; at += piece) {
        const std::size_t count = size - at < piece ? size - at : piece;
        decoder.Decode(data + at, count, decoded, events);
    }
    for (const CTelnetEvent& event : events) {
        if (event.m_kind == CTelnetEvent::Kind::Negotiation) options.OnNegotiation(event.m_chVerb, event.m_chOption);
        std::uint32_t baud = 0;
        if (event.m_kind == CTelnetEvent::Kind::Subnegotiation) rfc2217::ParseBaudRateAck(event.m_payload, baud);
    }
    if (decoded.size() > size) std::abort();

    // Data escaped and decoded again comes back unchanged and eventless.
    std::vector<std::uint8_t> wire;
    TelnetEscape(decoded.data(), decoded.size(), wire);
    CTelnetDecoder again;
    std::vector<std::uint8_t> roundTrip;
    std::vector<CTelnetEvent> none;
    again.Decode(wire.data(), wire.size(), roundTrip, none);
    if (roundTrip != decoded || !none.empty()) std::abort();
    return 0;
}
