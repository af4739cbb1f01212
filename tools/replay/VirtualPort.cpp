#include "VirtualPort.h"

#include "text/Text.h"

namespace velmor::replay {

void CVirtualPort::Receive(const std::string& bytes)
{
    for (char c : bytes) m_input.push_back(static_cast<std::uint8_t>(c));
}

void CVirtualPort::Unplug()
{
    // What the unit had sent and nobody read goes with the cable.
    m_bUnplugged = true;
    m_input.clear();
}

bool CVirtualPort::Open(const std::string& path)
{
    if (m_bUnplugged) {
        m_bOpen = false;
        m_strOpenError = path + ": no such device";
        return false;
    }
    if (m_nOpenFailures > 0) {
        --m_nOpenFailures;
        m_bOpen = false;
        m_strOpenError = path + ": the session refused the opening (openfail)";
        return false;
    }
    m_strOpenError.clear();
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
    ++m_nReads;
    if (!m_bOpen || m_bUnplugged) return -1;
    std::size_t count = 0;
    while (count < size && !m_input.empty()) {
        buffer[count++] = m_input.front();
        m_input.pop_front();
    }
    return static_cast<long>(count);
}

bool CVirtualPort::Write(const std::uint8_t* data, std::size_t size, int /*timeoutMs*/)
{
    if (!m_bOpen || m_bUnplugged) return false;
    m_emit("tx " + Escape(std::string_view(reinterpret_cast<const char*>(data), size)));
    return true;
}

}  // namespace velmor::replay
