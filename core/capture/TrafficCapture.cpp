#include "capture/TrafficCapture.h"

#include <cerrno>
#include <cstring>

#include "text/Text.h"

namespace velmor {

CTrafficCapture::~CTrafficCapture()
{
    if (m_pFile) Stop(m_qwWritten);
}

bool CTrafficCapture::Start(const std::string& path, std::uint64_t qwStartTick, std::time_t wallClock,
                            std::string& error)
{
    if (m_pFile) Stop(m_qwWritten);
    m_pFile = std::fopen(path.c_str(), "w");
    if (!m_pFile) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    m_strPath = path;
    m_qwWritten = qwStartTick;
    m_qwLastFlush = qwStartTick;
    std::tm parts{};
    ::gmtime_r(&wallClock, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &parts);
    m_strBuffer = std::string("# Velmor traffic capture, started ") + stamp +
                  "\n# rx: bytes read from the unit; wait: ms since the previous line;"
                  " # tx: bytes written to it\n";
    Flush();
    return m_pFile != nullptr;
}

void CTrafficCapture::Stop(std::uint64_t qwNow)
{
    if (!m_pFile) return;
    // The session's tail: the time after the last line, so that a replay of
    // the capture also runs the ticks that handled the last bytes.
    if (qwNow > m_qwWritten) {
        m_strBuffer += "wait " + std::to_string(qwNow - m_qwWritten) + "\n";
        m_qwWritten = qwNow;
    }
    m_strBuffer += "# capture stopped\n";
    Flush();
    if (m_pFile) std::fclose(m_pFile);
    m_pFile = nullptr;
}

void CTrafficCapture::AdvanceTo(std::uint64_t qwTick)
{
    // One millisecond before the tick, never backwards.
    const std::uint64_t at = qwTick > 0 ? qwTick - 1 : 0;
    if (at <= m_qwWritten) return;
    m_strBuffer += "wait " + std::to_string(at - m_qwWritten) + "\n";
    m_qwWritten = at;
}

void CTrafficCapture::WriteBytes(const char* prefix, std::span<const std::uint8_t> bytes)
{
    // One line per received line of text: a capture reads like the traffic.
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        if (end < bytes.size()) ++end;
        m_strBuffer += prefix;
        m_strBuffer += Escape(std::string_view(reinterpret_cast<const char*>(bytes.data() + start), end - start));
        m_strBuffer += '\n';
        start = end;
    }
}

void CTrafficCapture::OnObservation(const CObservation& observation)
{
    if (!m_pFile) return;
    const char* comment = nullptr;
    switch (observation.m_event) {
    case LinkEvent::BytesReceived:
        AdvanceTo(observation.m_qwTick);
        WriteBytes("rx ", observation.m_bytes);
        break;
    case LinkEvent::BytesSent:
        AdvanceTo(observation.m_qwTick);
        WriteBytes("# tx ", observation.m_bytes);
        break;
    case LinkEvent::WriteFailure:
        AdvanceTo(observation.m_qwTick);
        WriteBytes("# tx failed ", observation.m_bytes);
        break;
    case LinkEvent::PortOpened: comment = "# port opened\n"; break;
    case LinkEvent::PortOpenFailed: comment = "# port could not be opened\n"; break;
    case LinkEvent::PortClosed: comment = "# port closed\n"; break;
    case LinkEvent::PortLost: comment = "# port lost\n"; break;
    case LinkEvent::PortRestored: comment = "# port restored\n"; break;
    default: break;
    }
    if (comment) {
        AdvanceTo(observation.m_qwTick);
        m_strBuffer += comment;
    }
    Tick(observation.m_qwTick);
}

void CTrafficCapture::Tick(std::uint64_t qwNow)
{
    if (!m_pFile) return;
    if (m_strBuffer.size() >= kFlushSize || qwNow >= m_qwLastFlush + kFlushPeriodMs) {
        m_qwLastFlush = qwNow;
        Flush();
    }
}

void CTrafficCapture::Flush()
{
    if (!m_pFile || m_strBuffer.empty()) return;
    const bool ok = std::fwrite(m_strBuffer.data(), 1, m_strBuffer.size(), m_pFile) == m_strBuffer.size() &&
                    std::fflush(m_pFile) == 0;
    m_strBuffer.clear();
    if (ok) return;
    const std::string message = "cannot write the traffic capture " + m_strPath + ": " + std::strerror(errno);
    std::fclose(m_pFile);
    m_pFile = nullptr;
    if (m_onError) m_onError(message);
    else std::fprintf(stderr, "velmor: %s; capture stopped\n", message.c_str());
}

}  // namespace velmor
