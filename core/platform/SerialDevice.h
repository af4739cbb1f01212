#pragma once
// A serial line as the program needs it: open by path, apply line settings,
// purge, read what is there, write with a time-out, close.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor {

struct LineSettings {
    int m_nBaud = 19200;
    int m_nDataBits = 8;
    char m_chParity = 'N';  // 'N', 'O', 'E'
    int m_nStopBits = 1;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    // Opens the device exclusively for reading and writing. False on failure.
    virtual bool Open(const std::string& path) = 0;
    virtual bool IsOpen() const = 0;
    // False when the device refuses the settings.
    virtual bool Apply(const LineSettings& settings) = 0;
    // Discards both directions.
    virtual void Purge() = 0;
    virtual void ClearErrors() = 0;
    // Never blocks. Returns the number of bytes read, 0 when none, -1 on error.
    virtual long Read(std::uint8_t* buffer, std::size_t size) = 0;
    // Writes all bytes or gives up after timeoutMs. True when all were written.
    virtual bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) = 0;
    virtual void Close() = 0;
    virtual bool IsHungUp() const { return false; }
    virtual bool OpenNonBlocking(const std::string& path) { return Open(path); }
};

}  // namespace velmor
