#pragma once
// SerialDevice on a POSIX terminal device (a serial port or a pseudo-terminal)
// through termios.

#include "platform/SerialDevice.h"

namespace velmor {

class CPosixSerialDevice : public SerialDevice {
public:
    CPosixSerialDevice() = default;
    ~CPosixSerialDevice() override;
    CPosixSerialDevice(const CPosixSerialDevice&) = delete;
    CPosixSerialDevice& operator=(const CPosixSerialDevice&) = delete;

    // Opens the terminal non-blocking in raw mode and holds it exclusively:
    // TIOCEXCL keeps other openers out, and an flock() lock tells cooperating
    // programs (and root, whom TIOCEXCL does not stop) that the line is taken.
    // A device that is already open is closed first.
    bool Open(const std::string& path) override;
    bool IsOpen() const override { return m_nFd >= 0; }
    bool Apply(const LineSettings& settings) override;
    void Purge() override;
    // Terminals keep no sticky error state to clear; kept for the interface.
    void ClearErrors() override;
    // 0 when nothing is waiting; -1 on an error, end of file or hang-up.
    // After a hang-up (end of file, EIO, ENXIO, ENODEV) it keeps returning -1
    // and IsHungUp() says so.
    long Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) override;
    void Close() override;
    bool IsHungUp() const override { return m_bHungUp; }
    std::string LastOpenError() const override { return m_strOpenError; }

    // The settings of the last successful Apply.
    const LineSettings& LastSettings() const { return m_lastSettings; }

private:
    // Records why the open of |path| failed (from errno) and returns false.
    bool FailOpen(const std::string& path, int error);

    int m_nFd = -1;
    bool m_bHungUp = false;
    std::string m_strOpenError;
    LineSettings m_lastSettings;
};

}  // namespace velmor
