#include "counter/CounterSession.h"

#include <utility>

namespace velmor {

CCounterSession::CCounterSession(ISessionEvents& events, SerialDevice& device, CCounterOptions options)
    : m_events(events), m_device(device), m_options(std::move(options)), m_parser(m_options.m_format),
      m_tracker(m_options.m_stepLimitPs)
{
}

CCounterSession::~CCounterSession() { Close(); }

bool CCounterSession::Open()
{
    if (m_bOpen) return true;
    if (!m_device.OpenNonBlocking(m_options.m_strDevice)) return false;
    LineSettings line;
    line.m_nBaud = m_options.m_nBaud;
    if (!m_device.Apply(line)) {
        m_device.Close();
        return false;
    }
    m_device.Purge();
    m_bOpen = true;
    return true;
}

void CCounterSession::Close()
{
    if (m_device.IsOpen()) m_device.Close();
    m_bOpen = false;
}

void CCounterSession::Tick()
{
    std::uint64_t now = m_events.TickCount();
    if (m_bOpen && m_device.IsHungUp()) {
        Close();
        m_qwNextReopen = now + kReopenPeriodMs;
    }
    if (!m_bOpen) {
        if (now < m_qwNextReopen) return;
        if (!Open()) {
            // A network device keeps connecting between our looks at it.
            m_qwNextReopen = now + (m_device.IsOpen() ? 0 : kReopenPeriodMs);
            return;
        }
    }
    std::uint8_t buffer[kReadSize];
    // A counter sends a few lines a second; a handful of reads drains it.
    for (int i = 0; i < 16; ++i) {
        long n = m_device.Read(buffer, sizeof buffer);
        if (n < 0) {
            Close();
            m_qwNextReopen = now + kReopenPeriodMs;
            return;
        }
        if (n == 0) break;
        FeedBytes(buffer, static_cast<std::size_t>(n));
    }
}

void CCounterSession::FeedBytes(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t now = m_events.TickCount();
    m_lines.clear();
    m_parser.Feed(data, size, m_lines, now);
    for (const CCounterLine& line : m_lines) {
        ++m_nLines;
        m_bAnyLine = true;
        m_qwLastLine = now;
        m_samples.clear();
        // Lines held while the format was detected keep their own arrival.
        m_tracker.Add(line, line.m_qwTick, m_samples);
        for (const CCounterSample& sample : m_samples)
            for (ICounterObserver* observer : m_observers) observer->OnCounterSample(*this, sample);
    }
}

bool CCounterSession::IsUp() const
{
    return m_bOpen && m_bAnyLine && m_events.TickCount() - m_qwLastLine <= kUpWindowMs;
}

}  // namespace velmor
