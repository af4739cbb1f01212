#include "platform/DeviceByPath.h"

#include "platform/NetSerialDevice.h"
#include "platform/PosixSerialDevice.h"

namespace velmor {

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

CDeviceByPath::Kind CDeviceByPath::KindOf(const std::string& path)
{
    if (StartsWithNoCase(path, "tcp://")) return Kind::RawTcp;
    if (StartsWithNoCase(path, "rfc2217://")) return Kind::Rfc2217;
    return Kind::Terminal;
}

CDeviceByPath::~CDeviceByPath() = default;

SerialDevice& CDeviceByPath::DeviceFor(const std::string& path)
{
    const Kind kind = KindOf(path);
    if (!m_pDevice || kind != m_kind) {
        if (m_pDevice) m_pDevice->Close();
        switch (kind) {
        case Kind::RawTcp: m_pDevice = std::make_unique<CNetSerialDevice>(CNetSerialDevice::Protocol::Raw); break;
        case Kind::Rfc2217:
            m_pDevice = std::make_unique<CNetSerialDevice>(CNetSerialDevice::Protocol::Rfc2217);
            break;
        case Kind::Terminal: m_pDevice = std::make_unique<CPosixSerialDevice>(); break;
        }
        m_kind = kind;
    }
    return *m_pDevice;
}

bool CDeviceByPath::Open(const std::string& path) { return DeviceFor(path).Open(path); }

bool CDeviceByPath::OpenNonBlocking(const std::string& path) { return DeviceFor(path).OpenNonBlocking(path); }

void CDeviceByPath::Purge()
{
    if (m_pDevice) m_pDevice->Purge();
}

void CDeviceByPath::ClearErrors()
{
    if (m_pDevice) m_pDevice->ClearErrors();
}

long CDeviceByPath::Read(std::uint8_t* buffer, std::size_t size) { return m_pDevice ? m_pDevice->Read(buffer, size) : -1; }

bool CDeviceByPath::Write(const std::uint8_t* data, std::size_t size, int timeoutMs)
{
    return m_pDevice && m_pDevice->Write(data, size, timeoutMs);
}

void CDeviceByPath::Close()
{
    if (m_pDevice) m_pDevice->Close();
}

}  // namespace velmor
