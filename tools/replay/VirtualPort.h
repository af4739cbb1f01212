#pragma once
// The serial line of a replay: what the script says the unit sends waits in
// an input queue, and every write the program makes becomes a "tx" line.

#include <deque>
#include <functional>
#include <string>

#include "platform/SerialDevice.h"

namespace velmor::replay {

class CVirtualPort : public SerialDevice {
public:
    // |emit| receives each output line ("tx ...").
    explicit CVirtualPort(std::function<void(const std::string&)> emit) : m_emit(std::move(emit)) {}

    // The next Open fails as "could not open"; calls add up.
    void QueueOpenFailure() { ++m_nOpenFailures; }
    // Bytes the unit sends; they wait until the program reads them.
    void Receive(const std::string& bytes);
    // The cable is pulled: reads report a hang-up, writes and opens fail.
    void Unplug();
    // The device can be opened again.
    void Replug() { m_bUnplugged = false; }

    bool Open(const std::string& path) override;
    bool IsOpen() const override { return m_bOpen; }
    bool Apply(const LineSettings& settings) override;
    void Purge() override { m_input.clear(); }
    void ClearErrors() override {}
    long Read(std::uint8_t* buffer, std::size_t size) override;
    bool Write(const std::uint8_t* data, std::size_t size, int timeoutMs) override;
    void Close() override { m_bOpen = false; }
    bool IsHungUp() const override { return m_bOpen && m_bUnplugged; }
    // Why the last Open failed, so that a session shows what the user would read.
    std::string LastOpenError() const override { return m_strOpenError; }

    std::string m_strPath;      // the path of the last successful Open
    LineSettings m_settings;    // the line settings last applied
    std::size_t Pending() const { return m_input.size(); }
    // Every Read call the program made, whatever it returned.
    std::size_t m_nReads = 0;

private:
    std::function<void(const std::string&)> m_emit;
    std::deque<std::uint8_t> m_input;
    int m_nOpenFailures = 0;
    std::string m_strOpenError;
    bool m_bOpen = false;
    bool m_bUnplugged = false;
};

}  // namespace velmor::replay
