#pragma once
// One time-interval counter on its own line, beside a unit: the device
// (a serial path, tcp:// or rfc2217://, through the same SerialDevice the
// unit's session uses), the parser and the tracker, reopening a lost or
// unopened device every few seconds, and the observers of its samples.
// The front end's clock (ISessionEvents::TickCount) stamps every line, the
// same clock the unit's session reads, so that a counter sample and the
// unit's time report can be set side by side.

#include <cstdint>
#include <string>
#include <vector>

#include "counter/CounterParser.h"
#include "counter/CounterTracker.h"
#include "platform/Host.h"
#include "platform/SerialDevice.h"

namespace velmor {

struct CCounterOptions {
    std::string m_strDevice;
    CounterFormat m_format = CounterFormat::Auto;
    int m_nBaud = 115200;  // 8N1
    std::int64_t m_stepLimitPs = CCounterTracker::kDefaultStepLimitPs;
};

class CCounterSession;

class ICounterObserver {
public:
    virtual ~ICounterObserver() = default;
    // Each sample as it is made (all series: "A", "B", "A-B" ...).
    virtual void OnCounterSample(const CCounterSession& session, const CCounterSample& sample) = 0;
};

class CCounterSession {
public:
    CCounterSession(ISessionEvents& events, SerialDevice& device, CCounterOptions options);
    CCounterSession(const CCounterSession&) = delete;
    CCounterSession& operator=(const CCounterSession&) = delete;
    ~CCounterSession();

    // Opens the device with the options' line settings; true when open.
    bool Open();
    void Close();
    // Reads what the device holds and makes its samples; reopens a device
    // that failed or was lost, every kReopenPeriodMs.
    void Tick();
    // Lines fed directly (the tick's reads end here).
    void FeedBytes(const std::uint8_t* data, std::size_t size);

    void AddObserver(ICounterObserver& observer) { m_observers.push_back(&observer); }
    // The front end's clock now (the ticks samples carry).
    std::uint64_t Now() const { return m_events.TickCount(); }

    const CCounterOptions& Options() const { return m_options; }
    const std::string& Device() const { return m_options.m_strDevice; }
    bool IsOpen() const { return m_bOpen; }
    // Why the device would not open, when it can say.
    std::string LastOpenError() const { return m_device.LastOpenError(); }
    // Open, and a valid line within kUpWindowMs.
    bool IsUp() const;
    const CCounterParser& Parser() const { return m_parser; }
    const CCounterTracker& Tracker() const { return m_tracker; }
    // Valid lines received.
    std::uint64_t Lines() const { return m_nLines; }

    static constexpr int kReopenPeriodMs = 2000;
    static constexpr std::uint64_t kUpWindowMs = 5000;
    static constexpr std::size_t kReadSize = 512;

private:
    ISessionEvents& m_events;
    SerialDevice& m_device;
    CCounterOptions m_options;
    CCounterParser m_parser;
    CCounterTracker m_tracker;
    bool m_bOpen = false;
    std::uint64_t m_qwNextReopen = 0;
    std::uint64_t m_qwLastLine = 0;
    bool m_bAnyLine = false;
    std::uint64_t m_nLines = 0;
    std::vector<ICounterObserver*> m_observers;
    std::vector<CCounterLine> m_lines;
    std::vector<CCounterSample> m_samples;
};

}  // namespace velmor
