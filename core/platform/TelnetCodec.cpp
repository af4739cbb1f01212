#include "platform/TelnetCodec.h"

namespace velmor {

using namespace telnet;

void CTelnetDecoder::Reset()
{
    m_state = State::Data;
    m_chVerb = 0;
    m_chOption = 0;
    m_bOverflow = false;
    m_payload.clear();
}

void CTelnetDecoder::OnCommandByte(std::uint8_t byte, std::vector<std::uint8_t>& data,
                                   std::vector<CTelnetEvent>& events)
{
    switch (byte) {
    case kIac:
        data.push_back(kIac);
        m_state = State::Data;
        break;
    case kWill:
    case kWont:
    case kDo:
    case kDont:
        m_chVerb = byte;
        m_state = State::Verb;
        break;
    case kSb:
        m_state = State::SbOption;
        break;
    default: {
        CTelnetEvent event;
        event.m_kind = CTelnetEvent::Kind::Command;
        event.m_chVerb = byte;
        events.push_back(std::move(event));
        m_state = State::Data;
        break;
    }
    }
}

void CTelnetDecoder::Decode(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& data,
                            std::vector<CTelnetEvent>& events)
{
    if (bytes == nullptr) return;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (m_state) {
        case State::Data:
            if (byte == kIac)
                m_state = State::Iac;
            else
                data.push_back(byte);
            break;
        case State::Iac: OnCommandByte(byte, data, events); break;
        case State::Verb: {
            CTelnetEvent event;
            event.m_kind = CTelnetEvent::Kind::Negotiation;
            event.m_chVerb = m_chVerb;
            event.m_chOption = byte;
            events.push_back(std::move(event));
            m_state = State::Data;
            break;
        }
        case State::SbOption:
            m_chOption = byte;
            m_payload.clear();
            m_bOverflow = false;
            m_state = State::SbData;
            break;
        case State::SbData:
            if (byte == kIac) {
                m_state = State::SbIac;
            } else if (m_payload.size() < kMaxPayload) {
                m_payload.push_back(byte);
            } else {
                m_bOverflow = true;
            }
            break;
        case State::SbIac:
            if (byte == kIac) {
                if (m_payload.size() < kMaxPayload)
                    m_payload.push_back(kIac);
                else
                    m_bOverflow = true;
                m_state = State::SbData;
            } else if (byte == kSe) {
                if (!m_bOverflow) {
                    CTelnetEvent event;
                    event.m_kind = CTelnetEvent::Kind::Subnegotiation;
                    event.m_chOption = m_chOption;
                    event.m_payload = std::move(m_payload);
                    events.push_back(std::move(event));
                }
                m_payload.clear();
                m_bOverflow = false;
                m_state = State::Data;
            } else {
                // A broken subnegotiation: drop it and read the command that
                // interrupted it, so that one bad server message does not
                // swallow the rest of the stream.
                m_payload.clear();
                m_bOverflow = false;
                OnCommandByte(byte, data, events);
            }
            break;
        }
    }
}

void TelnetEscape(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out)
{
    if (bytes == nullptr) return;
    out.reserve(out.size() + size);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac) out.push_back(kIac);
    }
}

std::vector<std::uint8_t> TelnetNegotiation(std::uint8_t verb, std::uint8_t option) { return {kIac, verb, option}; }

std::vector<std::uint8_t> TelnetSubnegotiation(std::uint8_t option, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> out{kIac, kSb, option};
    TelnetEscape(payload.data(), payload.size(), out);
    out.push_back(kIac);
    out.push_back(kSe);
    return out;
}

bool CTelnetOptions::WeWill(std::uint8_t option)
{
    return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
}

bool CTelnetOptions::WeWantThem(std::uint8_t option) { return option == kOptBinary || option == kOptSuppressGoAhead; }

std::vector<std::uint8_t> CTelnetOptions::Start()
{
    std::vector<std::uint8_t> out;
    for (std::uint8_t option : {kOptBinary, kOptSuppressGoAhead, kOptComPort}) {
        if (!m_local[option].m_bEnabled && !m_local[option].m_bPending) {
            m_local[option].m_bPending = true;
            for (std::uint8_t b : TelnetNegotiation(kWill, option)) out.push_back(b);
        }
        if (WeWantThem(option) && !m_remote[option].m_bEnabled && !m_remote[option].m_bPending) {
            m_remote[option].m_bPending = true;
            for (std::uint8_t b : TelnetNegotiation(kDo, option)) out.push_back(b);
        }
    }
    return out;
}

std::vector<std::uint8_t> CTelnetOptions::OnNegotiation(std::uint8_t verb, std::uint8_t option)
{
    // A request answers our own pending one (no reply) or asks for a change
    // (reply once); a request that changes nothing gets no reply at all.
    switch (verb) {
    case kDo: {
        Side& side = m_local[option];
        if (!WeWill(option)) return TelnetNegotiation(kWont, option);
        if (option == kOptComPort) m_bComPortRefused = false;
        if (side.m_bEnabled) return {};
        side.m_bEnabled = true;
        const bool bWasPending = side.m_bPending;
        side.m_bPending = false;
        return bWasPending ? std::vector<std::uint8_t>{} : TelnetNegotiation(kWill, option);
    }
    case kDont: {
        Side& side = m_local[option];
        if (option == kOptComPort) m_bComPortRefused = true;
        if (!side.m_bEnabled && !side.m_bPending) return {};
        const bool bWasPending = side.m_bPending;
        side.m_bEnabled = false;
        side.m_bPending = false;
        return bWasPending ? std::vector<std::uint8_t>{} : TelnetNegotiation(kWont, option);
    }
    case kWill: {
        Side& side = m_remote[option];
        if (!WeWantThem(option)) return TelnetNegotiation(kDont, option);
        if (side.m_bEnabled) return {};
        side.m_bEnabled = true;
        const bool bWasPending = side.m_bPending;
        side.m_bPending = false;
        return bWasPending ? std::vector<std::uint8_t>{} : TelnetNegotiation(kDo, option);
    }
    case kWont: {
        Side& side = m_remote[option];
        if (!side.m_bEnabled && !side.m_bPending) return {};
        const bool bWasPending = side.m_bPending;
        side.m_bEnabled = false;
        side.m_bPending = false;
        return bWasPending ? std::vector<std::uint8_t>{} : TelnetNegotiation(kDont, option);
    }
    default: return {};
    }
}

namespace rfc2217 {

namespace {

std::vector<std::uint8_t> Request(std::uint8_t command, std::vector<std::uint8_t> value)
{
    value.insert(value.begin(), command);
    return TelnetSubnegotiation(kOptComPort, value);
}

}  // namespace

std::vector<std::uint8_t> SetBaudRate(std::uint32_t baud)
{
    return Request(kSetBaudRate, {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                                  static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
}

bool SetDataSize(int dataBits, std::vector<std::uint8_t>& out)
{
    if (dataBits < 5 || dataBits > 8) return false;
    out = Request(kSetDataSize, {static_cast<std::uint8_t>(dataBits)});
    return true;
}

bool SetParity(char parity, std::vector<std::uint8_t>& out)
{
    std::uint8_t code = 0;
    switch (parity) {
    case 'N': code = 1; break;
    case 'O': code = 2; break;
    case 'E': code = 3; break;
    case 'M': code = 4; break;
    case 'S': code = 5; break;
    default: return false;
    }
    out = Request(kSetParity, {code});
    return true;
}

bool SetStopSize(int stopBits, std::vector<std::uint8_t>& out)
{
    if (stopBits != 1 && stopBits != 2) return false;
    out = Request(kSetStopSize, {static_cast<std::uint8_t>(stopBits)});
    return true;
}

std::vector<std::uint8_t> SetControl(std::uint8_t value) { return Request(kSetControl, {value}); }

std::vector<std::uint8_t> PurgeData(std::uint8_t which) { return Request(kPurgeData, {which}); }

bool ParseBaudRateAck(const std::vector<std::uint8_t>& payload, std::uint32_t& baud)
{
    if (payload.size() != 5 || payload[0] != kServerOffset + kSetBaudRate) return false;
    baud = (static_cast<std::uint32_t>(payload[1]) << 24) | (static_cast<std::uint32_t>(payload[2]) << 16) |
           (static_cast<std::uint32_t>(payload[3]) << 8) | static_cast<std::uint32_t>(payload[4]);
    return true;
}

}  // namespace rfc2217

}  // namespace velmor
