#pragma once
// A serial line as the program needs it: open by path, apply line settings,
// purge, read what is there, write with a time-out, close. The line may be a
// local terminal or a serial port served over the network.

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

    // Opens without ever waiting, for retries made from a timer: the first
    // call starts the attempt, later calls with the same path look at it, and
    // the answer is true once the device is open. Devices that open at once
    // simply open.
    virtual bool OpenNonBlocking(const std::string& path) { return Open(path); }
    // False when the line's rate and framing are fixed by the far end (a raw
    // network port): Apply then succeeds without changing anything.
    virtual bool CanChangeLineSettings() const { return true; }
    // True once the other side has gone (end of file, reset, hang-up): the
    // device stays open but will never read again until reopened.
    virtual bool IsHungUp() const { return false; }
    // Why the last Open failed, as a sentence naming the device; empty when it
    // did not fail or the device cannot tell.
    virtual std::string LastOpenError() const { return {}; }
};

}  // namespace velmor
