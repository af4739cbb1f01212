#pragma once
// Telnet framing for a serial port served over the network (RFC 854/855 with
// the COM-PORT-OPTION of RFC 2217). The byte stream from the server mixes the
// unit's data with Telnet commands: IAC (0xFF) starts a command, IAC IAC is a
// data byte 0xFF, and IAC SB ... IAC SE carries a subnegotiation. A read may
// end anywhere, even between IAC and its second byte, so the decoder is a
// per-byte state machine that keeps its place between calls. It does no I/O
// of its own, and neither does the option bookkeeping below it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmor {

namespace telnet {
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kNop = 241;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kIac = 255;

constexpr std::uint8_t kOptBinary = 0;
constexpr std::uint8_t kOptEcho = 1;
constexpr std::uint8_t kOptSuppressGoAhead = 3;
constexpr std::uint8_t kOptComPort = 44;
}  // namespace telnet

// Something other than data that came from the far end.
struct CTelnetEvent {
    enum class Kind {
        Negotiation,     // m_chVerb (WILL, WONT, DO, DONT) about m_chOption
        Subnegotiation,  // m_chOption with m_payload (IAC IAC already undone)
        Command,         // a two-byte command such as NOP or BRK, in m_chVerb
    };
    Kind m_kind = Kind::Command;
    std::uint8_t m_chVerb = 0;
    std::uint8_t m_chOption = 0;
    std::vector<std::uint8_t> m_payload;
};

class CTelnetDecoder {
public:
    // A subnegotiation longer than this is dropped whole (none we use carries
    // more than a handful of bytes); its end is still found.
    static constexpr std::size_t kMaxPayload = 256;

    // Splits |size| bytes into data (appended to |data|) and events
    // (appended to |events|), continuing where the previous call stopped.
    void Decode(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& data,
                std::vector<CTelnetEvent>& events);
    // Forgets a half-received command, as for a new connection.
    void Reset();

private:
    enum class State { Data, Iac, Verb, SbOption, SbData, SbIac };
    // Handles the byte after an IAC outside a subnegotiation.
    void OnCommandByte(std::uint8_t byte, std::vector<std::uint8_t>& data, std::vector<CTelnetEvent>& events);

    State m_state = State::Data;
    std::uint8_t m_chVerb = 0;
    std::uint8_t m_chOption = 0;
    bool m_bOverflow = false;
    std::vector<std::uint8_t> m_payload;
};

// Appends |size| data bytes to |out| with every 0xFF doubled.
void TelnetEscape(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out);
// IAC |verb| |option|.
std::vector<std::uint8_t> TelnetNegotiation(std::uint8_t verb, std::uint8_t option);
// IAC SB |option| payload IAC SE, with 0xFF in the payload doubled.
std::vector<std::uint8_t> TelnetSubnegotiation(std::uint8_t option, const std::vector<std::uint8_t>& payload);

// The options a serial-port client keeps with the server: BINARY and
// SUPPRESS-GO-AHEAD both ways, COM-PORT-OPTION on our side, nothing else.
// Each answer is given only when it changes an option's state, so that two
// sides that both offer first never loop on each other's acknowledgements.
class CTelnetOptions {
public:
    // The offers a client opens with; remembered as pending.
    std::vector<std::uint8_t> Start();
    // The reply to one WILL/WONT/DO/DONT from the server (possibly none).
    std::vector<std::uint8_t> OnNegotiation(std::uint8_t verb, std::uint8_t option);

    // The server agreed (DO COM-PORT-OPTION) to take line settings from us.
    bool ComPortAccepted() const { return m_local[telnet::kOptComPort].m_bEnabled; }
    // The server said DONT COM-PORT-OPTION: it will ignore line settings.
    bool ComPortRefused() const { return m_bComPortRefused; }
    bool IsLocalEnabled(std::uint8_t option) const { return m_local[option].m_bEnabled; }
    bool IsRemoteEnabled(std::uint8_t option) const { return m_remote[option].m_bEnabled; }

private:
    struct Side {
        bool m_bEnabled = false;
        bool m_bPending = false;  // we asked and wait for the answer
    };
    static bool WeWill(std::uint8_t option);
    static bool WeWantThem(std::uint8_t option);

    Side m_local[256];   // options we perform (WILL/WONT from us)
    Side m_remote[256];  // options the server performs (DO/DONT from us)
    bool m_bComPortRefused = false;
};

// Client-to-server COM-PORT-OPTION commands; the server acknowledges each
// with the same command number plus 100.
namespace rfc2217 {
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kServerOffset = 100;

constexpr std::uint8_t kControlNoFlowControl = 1;
constexpr std::uint8_t kControlDtrOn = 8;
constexpr std::uint8_t kControlRtsOn = 11;
constexpr std::uint8_t kPurgeBoth = 3;

// The complete IAC SB COM-PORT-OPTION ... IAC SE for each request; false
// from the line-setting ones when the value has no RFC 2217 code.
std::vector<std::uint8_t> SetBaudRate(std::uint32_t baud);
bool SetDataSize(int dataBits, std::vector<std::uint8_t>& out);
bool SetParity(char parity, std::vector<std::uint8_t>& out);
bool SetStopSize(int stopBits, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> SetControl(std::uint8_t value);
std::vector<std::uint8_t> PurgeData(std::uint8_t which);

// The rate in a server's SET-BAUDRATE acknowledgement (a COM-PORT-OPTION
// subnegotiation payload); false for any other payload.
bool ParseBaudRateAck(const std::vector<std::uint8_t>& payload, std::uint32_t& baud);
}  // namespace rfc2217

}  // namespace velmor
