#pragma once
// Traffic capture: every byte read from the unit and written to it, with
// its time, as a velmor-replay script. Received bytes become "rx" lines
// (the replay's escapes, split after each line feed), time becomes "wait"
// lines (milliseconds since the previous line), written bytes become
// "# tx ..." comments, and port events become comments too. A capture thus
// reads as a log, runs through velmor-replay as it is and can become a
// golden session.
//
// Every line stands 1 ms before the tick at which the program handled it:
// the replay then queues the bytes before the poll tick that read them, so
// they are read at the same tick as in the captured session.
//
// Lines collect in memory and go to the file about once a second (and when
// much has piled up), so the poll tick never waits for a disk.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "observe/Observation.h"

namespace velmor {

class CTrafficCapture : public IUnitObserver {
public:
    static constexpr std::uint64_t kFlushPeriodMs = 1000;
    static constexpr std::size_t kFlushSize = 64 * 1024;

    using ErrorSink = std::function<void(const std::string&)>;
    CTrafficCapture() = default;
    ~CTrafficCapture() override;
    CTrafficCapture(const CTrafficCapture&) = delete;
    CTrafficCapture& operator=(const CTrafficCapture&) = delete;

    // Creates (truncates) |path| and writes the header; times count from
    // |qwStartTick|. False, with |error| set, when the file cannot be made.
    bool Start(const std::string& path, std::uint64_t qwStartTick, std::time_t wallClock, std::string& error);
    // Writes the time up to |qwNow| as a last wait, flushes and closes.
    void Stop(std::uint64_t qwNow);
    bool IsCapturing() const { return m_pFile != nullptr; }
    const std::string& Path() const { return m_strPath; }

    void OnObservation(const CObservation& observation) override;
    // From the poll tick: flushes what waited a second or more.
    void Tick(std::uint64_t qwNow);

    // Hears the one message when writing fails mid-capture (the capture
    // then stops); stderr when not set.
    void SetErrorSink(ErrorSink sink) { m_onError = std::move(sink); }

private:
    void AdvanceTo(std::uint64_t qwTick);
    void WriteBytes(const char* prefix, std::span<const std::uint8_t> bytes);
    void Flush();

    std::FILE* m_pFile = nullptr;
    std::string m_strPath;
    std::string m_strBuffer;
    std::uint64_t m_qwWritten = 0;     // the time the script has reached
    std::uint64_t m_qwLastFlush = 0;
    ErrorSink m_onError;
};

}  // namespace velmor
