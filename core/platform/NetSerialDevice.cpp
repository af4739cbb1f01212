#include "platform/NetSerialDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace velmor {

namespace {

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace

bool CNetSerialDevice::StartOpen(const std::string& path)
{
    m_strOpenError.clear();
    const char* scheme = m_protocol == Protocol::Raw ? "tcp" : "rfc2217";
    CNetAddress address;
    if (!ParseNetAddress(path, address) || address.m_strScheme != scheme) {
        m_strOpenError = path + ": not a network port; write " + scheme + "://HOST:PORT";
        return false;
    }
    m_strPath = path;
    m_bConnecting = true;
    m_connection.Start(address.m_strHost, address.m_nPort, kOpenBudgetMs);
    return true;
}

bool CNetSerialDevice::FinishOpen()
{
    switch (m_connection.GetState()) {
    case CNetConnection::State::Connected:
        m_bConnecting = false;
        m_bOpen = true;
        m_decoder.Reset();
        m_options = CTelnetOptions();
        m_input.clear();
        m_replies.clear();
        m_nConfirmedBaud = 0;
        if (m_protocol == Protocol::Rfc2217) {
            QueueReply(m_options.Start());
            FlushReplies();
        }
        return true;
    case CNetConnection::State::Failed:
        m_bConnecting = false;
        switch (m_connection.GetFailure()) {
        case CNetConnection::Failure::HostUnknown: m_strOpenError = m_strPath + ": host unknown"; break;
        case CNetConnection::Failure::Refused: m_strOpenError = m_strPath + ": connection refused"; break;
        case CNetConnection::Failure::NoAnswer: m_strOpenError = m_strPath + ": no answer within 3 s"; break;
        default: m_strOpenError = m_strPath + ": cannot connect (" + m_connection.FailureDetail() + ")"; break;
        }
        m_connection.Close();
        return false;
    default: return false;
    }
}

bool CNetSerialDevice::Open(const std::string& path)
{
    Close();
    if (!StartOpen(path)) return false;
    while (m_connection.GetState() == CNetConnection::State::Resolving ||
           m_connection.GetState() == CNetConnection::State::Connecting)
        m_connection.Poll(kOpenBudgetMs);
    return FinishOpen();
}

bool CNetSerialDevice::OpenNonBlocking(const std::string& path)
{
    if (m_bOpen && path == m_strPath && !m_connection.IsHungUp()) return true;
    if (!m_bConnecting || path != m_strPath) {
        Close();
        if (!StartOpen(path)) return false;
    }
    m_connection.Poll(0);
    return FinishOpen();
}

void CNetSerialDevice::Close()
{
    m_connection.Close();
    m_bOpen = false;
    m_bConnecting = false;
    m_input.clear();
    m_replies.clear();
}

void CNetSerialDevice::QueueReply(const std::vector<std::uint8_t>& bytes) { Append(m_replies, bytes); }

void CNetSerialDevice::FlushReplies()
{
    if (m_replies.empty()) return;
    const long sent = m_connection.SendSome(m_replies.data(), m_replies.size());
    if (sent > 0) m_replies.erase(m_replies.begin(), m_replies.begin() + sent);
}

void CNetSerialDevice::HandleEvent(const CTelnetEvent& event)
{
    if (event.m_kind == CTelnetEvent::Kind::Negotiation) {
        QueueReply(m_options.OnNegotiation(event.m_chVerb, event.m_chOption));
    } else if (event.m_kind == CTelnetEvent::Kind::Subnegotiation && event.m_chOption == telnet::kOptComPort) {
        std::uint32_t baud = 0;
        if (rfc2217::ParseBaudRateAck(event.m_payload, baud)) m_nConfirmedBaud = baud;
        // Other acknowledgements and the line and modem state notices carry
        // nothing the program uses.
    }
}

long CNetSerialDevice::Pump()
{
    std::uint8_t buffer[4096];
    const long count = m_connection.Receive(buffer, sizeof buffer);
    if (count <= 0) return count;
    if (m_protocol == Protocol::Raw) {
        m_input.insert(m_input.end(), buffer, buffer + count);
        return count;
    }
    std::vector<CTelnetEvent> events;
    m_decoder.Decode(buffer, static_cast<std::size_t>(count), m_input, events);
    for (const CTelnetEvent& event : events) HandleEvent(event);
    FlushReplies();
    return count;
}

long CNetSerialDevice::Read(std::uint8_t* buffer, std::size_t size)
{
    if (!m_bOpen || buffer == nullptr) return -1;
    if (size == 0) return 0;
    // Raw data needs no decoding: straight into the caller's buffer.
    if (m_protocol == Protocol::Raw && m_input.empty()) return m_connection.Receive(buffer, size);
    if (m_input.empty() && Pump() < 0) return -1;
    const std::size_t count = std::min(size, m_input.size());
    if (count == 0) return 0;
    std::memcpy(buffer, m_input.data(), count);
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(count));
    return static_cast<long>(count);
}

bool CNetSerialDevice::Write(const std::uint8_t* data, std::size_t size, int timeoutMs)
{
    if (!m_bOpen) return false;
    if (size == 0) return true;
    if (data == nullptr) return false;
    if (m_protocol == Protocol::Raw) return m_connection.SendAll(data, size, timeoutMs);
    // Pending protocol replies go first: they answer what came before.
    std::vector<std::uint8_t> out;
    out.swap(m_replies);
    TelnetEscape(data, size, out);
    return m_connection.SendAll(out.data(), out.size(), timeoutMs);
}

bool CNetSerialDevice::Apply(const LineSettings& settings)
{
    if (!m_bOpen) return false;
    if (m_protocol == Protocol::Raw) return true;
    if (settings.m_nBaud <= 0) return false;
    std::vector<std::uint8_t> dataSize, parity, stopSize;
    if (!rfc2217::SetDataSize(settings.m_nDataBits, dataSize) || !rfc2217::SetParity(settings.m_chParity, parity) ||
        !rfc2217::SetStopSize(settings.m_nStopBits, stopSize))
        return false;
    if (m_options.ComPortRefused()) return false;

    const std::uint32_t wanted = static_cast<std::uint32_t>(settings.m_nBaud);
    std::vector<std::uint8_t> out;
    out.swap(m_replies);
    Append(out, rfc2217::SetBaudRate(wanted));
    Append(out, dataSize);
    Append(out, parity);
    Append(out, stopSize);
    Append(out, rfc2217::SetControl(rfc2217::kControlNoFlowControl));
    Append(out, rfc2217::SetControl(rfc2217::kControlDtrOn));
    Append(out, rfc2217::SetControl(rfc2217::kControlRtsOn));
    m_nConfirmedBaud = 0;
    if (!m_connection.SendAll(out.data(), out.size(), kApplyAckMs)) return false;

    // Only the rate is waited for: it is the setting that decides whether
    // the unit can be understood, and every server confirms it.
    const std::int64_t deadline = NowMs() + kApplyAckMs;
    while (m_nConfirmedBaud == 0 && !m_options.ComPortRefused()) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0) break;
        m_connection.WaitReadable(static_cast<int>(left));
        if (Pump() < 0) return false;
    }
    if (m_options.ComPortRefused()) return false;
    return m_nConfirmedBaud == 0 || m_nConfirmedBaud == wanted;
}

void CNetSerialDevice::Purge()
{
    if (!m_bOpen) return;
    if (m_protocol == Protocol::Raw) {
        m_input.clear();
        m_connection.DiscardInput();
        return;
    }
    // What waits may hold the server's answers as well as data: decode it
    // all, keep the answers, drop the data.
    for (int i = 0; i < 256; ++i)
        if (Pump() <= 0) break;
    m_input.clear();
    QueueReply(rfc2217::PurgeData(rfc2217::kPurgeBoth));
    FlushReplies();
}

}  // namespace velmor
