#include "support/FakeSerialDevice.h"

namespace velmor {

bool CFakeSerialDevice::Open(const std::string& path)
{
    m_events.push_back("open " + path);
    ++m_nOpenCount;
    if (m_bFailOpen) return false;
    m_bOpen = true;
    m_strPath = path;
    return true;
}

bool CFakeSerialDevice::Apply(const LineSettings& settings)
{
    m_events.push_back("apply " + std::to_string(settings.m_nBaud) + " " + std::to_string(settings.m_nDataBits) +
                       settings.m_chParity + std::to_string(settings.m_nStopBits));
    if (m_bFailApply || !m_bOpen) return false;
    m_applied = settings;
    ++m_nApplyCount;
    return true;
}

void CFakeSerialDevice::Purge()
{
    m_events.push_back("purge");
    ++m_nPurgeCount;
}

void CFakeSerialDevice::ClearErrors()
{
    m_events.push_back("clearerrors");
    ++m_nClearErrorsCount;
}

long CFakeSerialDevice::Read(std::uint8_t* buffer, std::size_t size)
{
    if (!m_bOpen || m_bFailRead) return -1;
    std::size_t count = 0;
    while (count < size && count < m_nReadChunk && !m_input.empty()) {
        buffer[count++] = m_input.front();
        m_input.pop_front();
    }
    return static_cast<long>(count);
}

bool CFakeSerialDevice::Write(const std::uint8_t* data, std::size_t size, int timeoutMs)
{
    m_events.push_back("write " + std::to_string(size));
    m_nLastTimeoutMs = timeoutMs;
    if (!m_bOpen || m_bFailWrite) return false;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    m_strWritten += bytes;
    m_writes.push_back(bytes);
    if (m_onWrite) m_onWrite(bytes);
    return true;
}

void CFakeSerialDevice::Close()
{
    m_events.push_back("close");
    ++m_nCloseCount;
    m_bOpen = false;
}

void CFakeSerialDevice::QueueInput(const std::string& bytes)
{
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
}

void CFakeSerialDevice::ClearWritten()
{
    m_strWritten.clear();
    m_writes.clear();
}

}  // namespace velmor
