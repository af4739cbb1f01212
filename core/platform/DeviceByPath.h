#pragma once
// The SerialDevice the program holds: it picks the real device by the text
// it is asked to open, so that a port's device text in the settings may name
// a local terminal or a network port alike:
//   tcp://HOST:PORT      raw TCP (CNetSerialDevice, Raw)
//   rfc2217://HOST:PORT  Telnet with COM-PORT-OPTION (CNetSerialDevice, Rfc2217)
//   anything else        a terminal device (CPosixSerialDevice)
// Every other call goes to the device picked by the last open.

#include <memory>
#include <string>

#include "platform/SerialDevice.h"

namespace velmor {

class CDeviceByPath : public SerialDevice {
public:
    enum class Kind { Terminal, RawTcp, Rfc2217 };
    // The kind of device |path| names; the scheme is not case-sensitive.
    static Kind KindOf(const std::string& path);

    CDeviceByPath() = default;
    ~CDeviceByPath() override;
    CDeviceByPath(const CDeviceByPath&) = delete;
    CDeviceByPath& operator=(const CDeviceByPath&) = delete;

    bool Open(const std::string& path) override;
    bool OpenNonBlocking(const std::string& path) override;
    bool IsOpen() const override { return m_pDevice && m_pDevice->IsOpen(); }
    bool Apply(const LineSettings& settings) override { return m_pDevice && m_pDevice->Apply(settings); }
    void Purge() override;
    void ClearErrors() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) override;
    void Close() override;
    bool CanChangeLineSettings() const override { return !m_pDevice || m_pDevice->CanChangeLineSettings(); }
    bool IsHungUp() const override { return m_pDevice && m_pDevice->IsHungUp(); }
    std::string LastOpenError() const override { return m_pDevice ? m_pDevice->LastOpenError() : std::string(); }

    // The device picked by the last open; null before the first.
    SerialDevice* Current() const { return m_pDevice.get(); }
    Kind CurrentKind() const { return m_kind; }

private:
    // The device for |path|, made anew when the kind changes.
    SerialDevice& DeviceFor(const std::string& path);

    std::unique_ptr<SerialDevice> m_pDevice;
    Kind m_kind = Kind::Terminal;
};

}  // namespace velmor
