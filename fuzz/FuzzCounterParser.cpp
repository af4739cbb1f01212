// Arbitrary bytes from a counter's serial line: the parser in each format
// must never crash, never hand out a line longer than its limit, and must
// keep every value normalised (picoseconds within one second); the tracker
// must take whatever lines it hands out.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "counter/CounterParser.h"
#include "counter/CounterTracker.h"

using namespace velmor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (CounterFormat format : {CounterFormat::Auto, CounterFormat::Timestamp, CounterFormat::Reading}) {
        CCounterParser parser(format);
        std::vector<CCounterLine> out;
        // Two reads, split where the first byte says, as a serial line would.
        std::size_t split = size ? data[0] % (size + 1) : 0;
        parser.Feed(data, split, out);
        parser.Feed(data + split, size - split, out);
        // The samples they make, with arrival ticks from the bytes.
        CCounterTracker tracker;
        std::vector<CCounterSample> samples;
        std::uint64_t tick = 0;
        for (const CCounterLine& line : out) {
            tick += static_cast<std::uint64_t>(line.m_value.m_ps % 2000);
            tracker.Add(line, tick, samples);
        }
        (void)tracker.IntervalSeconds();
        for (const CCounterLine& line : out) {
            if (line.m_value.m_ps < 0 || line.m_value.m_ps >= CCounterTime::kPsPerSecond) __builtin_trap();
            if (line.m_strText.size() > CCounterParser::kMaxLine) __builtin_trap();
            if (line.m_channel != 0 && (line.m_channel < 'A' || line.m_channel > 'D')) __builtin_trap();
            (void)CCounterTime::DiffPs(line.m_value, out.front().m_value);
        }
    }
    return 0;
}
