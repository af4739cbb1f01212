#pragma once
// A SerialDevice for tests: opening, applying settings and writing can be made
// to fail, written bytes are kept, and queued bytes are served to reads.
//
// m_events records every call in order: "open <path>", "apply 19200 8N1",
// "purge", "clearerrors", "close", "write <n>" (n bytes, written or not).

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

namespace velmor {

class CFakeSerialDevice : public SerialDevice {
public:
    bool Open(const std::string& path) override;
    bool IsOpen() const override { return m_bOpen; }
    bool Apply(const LineSettings& settings) override;
    void Purge() override;
    void ClearErrors() override;
    long Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) override;
    void Close() override;

    // Bytes the next reads return (at most m_nReadChunk per read).
    void QueueInput(const std::string& bytes);
    // Everything written so far, as one string.
    std::string Written() const { return m_strWritten; }
    // The sentences written so far, one per successful Write.
    const std::vector<std::string>& Writes() const { return m_writes; }
    void ClearWritten();

    // Scripted failures.
    bool m_bFailOpen = false;
    bool m_bFailApply = false;
    bool m_bFailWrite = false;
    bool m_bFailRead = false;  // Read returns -1
    std::size_t m_nReadChunk = SIZE_MAX;
    // Called after each successful write with the bytes written, e.g. to
    // queue the far end's answer.
    std::function<void(const std::string&)> m_onWrite;

    bool m_bOpen = false;
    std::string m_strPath;
    LineSettings m_applied;
    int m_nApplyCount = 0;
    int m_nPurgeCount = 0;
    int m_nClearErrorsCount = 0;
    int m_nOpenCount = 0;
    int m_nCloseCount = 0;
    int m_nLastTimeoutMs = 0;
    std::vector<std::string> m_events;

private:
    std::deque<std::uint8_t> m_input;
    std::string m_strWritten;
    std::vector<std::string> m_writes;
};

}  // namespace velmor
