#include "VirtualPort.h"

#include "text/Text.h"

namespace velmor::replay {

void CVirtualPort::Receive(const std::string& bytes)
{
    for (char c : bytes) m_input.push_back(static_cast<std::uint8_t>(c));
}

bool CVirtualPort::Open(const std::string& path)
{
    if (m_nOpenFailures > 0) {
        --m_nOpenFailures;
        m_bOpen = false;
        return false;
    }
    m_strPath = path;
    m_bOpen = true;
    return true;
}

bool CVirtualPort::Apply(const LineSettings& settings)
{
    m_settings = settings;
    return m_bOpen;
}

long CVirtualPort::Read(std::uint8_t* buffer, std::size_t size)
{
    if (!m_bOpen) return -1;
    std::size_t count = 0;
    while (count < size && !m_input.empty()) {
        buffer[count++] = m_input.front();
        m_input.pop_front();
    }
    return static_cast<long>(count);
}

bool CVirtualPort::Write(const std::uint8_t* data, std::size_t size, int /*timeoutMs*/)
{
    if (!m_bOpen) return false;
    m_emit("tx " + Escape(std::string_view(reinterpret_cast<const char*>(data), size)));
    return true;
}

}  // namespace velmor::replay
