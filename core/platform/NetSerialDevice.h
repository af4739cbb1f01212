#pragma once
// SerialDevice on a serial port served over TCP, as a terminal server or
// ser2net offers it, in one of two ways:
//   tcp://HOST:PORT      the raw byte stream; the server fixes the line's
//                        rate and framing, so Apply changes nothing;
//   rfc2217://HOST:PORT  Telnet with the COM-PORT-OPTION: data is escaped,
//                        and Apply sends rate, data bits, parity and stop
//                        bits to the server, which sets its port.
// Open gives up after kOpenBudgetMs; OpenNonBlocking never waits.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/NetConnection.h"
#include "platform/SerialDevice.h"
#include "platform/TelnetCodec.h"

namespace velmor {

class CNetSerialDevice : public SerialDevice {
public:
    enum class Protocol { Raw, Rfc2217 };
    static constexpr int kOpenBudgetMs = 3000;
    // How long Apply waits for the server to confirm the new rate.
    static constexpr int kApplyAckMs = 1000;

    explicit CNetSerialDevice(Protocol protocol) : m_protocol(protocol) {}
    ~CNetSerialDevice() override { Close(); }
    CNetSerialDevice(const CNetSerialDevice&) = delete;
    CNetSerialDevice& operator=(const CNetSerialDevice&) = delete;

    bool Open(const std::string& path) override;
    bool OpenNonBlocking(const std::string& path) override;
    bool IsOpen() const override { return m_bOpen; }
    // Raw: nothing to do, true while open. RFC 2217: sends the settings (and
    // raises DTR and RTS) and waits up to kApplyAckMs for the server to
    // confirm the rate; false when the server refuses the port options or
    // confirms another rate. Modem-line requests are never waited for: some
    // servers do not answer them.
    bool Apply(const LineSettings& settings) override;
    // Drops the input waiting here; RFC 2217 also asks the server to purge
    // its buffers both ways.
    void Purge() override;
    void ClearErrors() override {}
    long Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) override;
    void Close() override;
    bool CanChangeLineSettings() const override { return m_protocol == Protocol::Rfc2217; }
    bool IsHungUp() const override { return m_bOpen && m_connection.IsHungUp(); }
    std::string LastOpenError() const override { return m_strOpenError; }

    // The rate the server last confirmed; 0 before any confirmation.
    std::uint32_t ConfirmedBaud() const { return m_nConfirmedBaud; }

private:
    // Checks |path| and starts connecting; false (with the reason) when the
    // path is no address of this device's kind.
    bool StartOpen(const std::string& path);
    // Completes the open once connected, or records why it failed.
    bool FinishOpen();
    // Receives what is waiting, keeping data in m_input and handling the
    // Telnet commands among it. The bytes received, -1 once the connection
    // is gone.
    long Pump();
    void HandleEvent(const CTelnetEvent& event);
    // Sends queued protocol replies as far as the socket takes them now.
    void FlushReplies();
    void QueueReply(const std::vector<std::uint8_t>& bytes);

    Protocol m_protocol;
    CNetConnection m_connection;
    std::string m_strPath;
    bool m_bOpen = false;
    bool m_bConnecting = false;  // a non-blocking open is under way
    std::string m_strOpenError;

    CTelnetDecoder m_decoder;
    CTelnetOptions m_options;
    std::vector<std::uint8_t> m_input;    // decoded data not yet read
    std::vector<std::uint8_t> m_replies;  // protocol bytes not yet sent
    std::uint32_t m_nConfirmedBaud = 0;
};

}  // namespace velmor
