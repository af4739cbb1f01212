// From counter lines to phase: A/B pairing in either order and what is left
// unpaired, the single channel's unwrapped fraction, slips and gaps that end
// segments, the measured interval; and the session on a fake device and a
// fake clock.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "counter/CounterSession.h"
#include "counter/CounterTracker.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

CCounterLine Ts(const char* text)
{
    auto line = ParseTimestampLine(text);
    EXPECT_TRUE(line) << text;
    return line.value_or(CCounterLine{});
}

// Feeds lines a second apart by default and keeps the samples of |series|.
struct Feed {
    CCounterTracker tracker;
    std::vector<CCounterSample> all;
    std::uint64_t tick = 0;
    explicit Feed(std::int64_t limitPs = CCounterTracker::kDefaultStepLimitPs) : tracker(limitPs) {}
    void Add(const char* text, std::uint64_t advanceMs = 0)
    {
        tick += advanceMs;
        tracker.Add(Ts(text), tick, all);
    }
    std::vector<CCounterSample> Of(const std::string& series) const
    {
        std::vector<CCounterSample> out;
        for (const auto& s : all)
            if (s.m_strChannel == series) out.push_back(s);
        return out;
    }
};

TEST(CounterTracker, PairsInEitherOrderAndCountsTheUnpaired)
{
    Feed run;
    run.Add("100.000000000100 chA");
    run.Add("100.000000000040 chB", 10);  // A then B
    run.Add("101.000000000035 chB", 990);  // B then A
    run.Add("101.000000000105 chA", 10);
    run.Add("102.000000000106 chA", 990);  // its B is lost
    run.Add("103.000000000110 chA", 1000);
    run.Add("103.000000000030 chB", 10);
    run.Add("104.000000000030 chB", 990);  // its A is lost
    run.Add("105.000000000031 chB", 1000);
    run.Add("105.000000000112 chA", 10);
    auto pairs = run.Of("A-B");
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0].m_phasePs, 60);
    EXPECT_EQ(pairs[1].m_phasePs, 70);
    EXPECT_EQ(pairs[2].m_phasePs, 80);
    EXPECT_EQ(pairs[3].m_phasePs, 81);
    EXPECT_EQ(pairs[1].m_strText, "101.000000000105");
    EXPECT_EQ(pairs[1].m_strTextB, "101.000000000035");
    EXPECT_EQ(run.tracker.Unpaired(), 2u);
    EXPECT_EQ(run.tracker.Primary(), "A-B");
    // The lost second is a gap: the pair after it starts a segment.
    EXPECT_FALSE(pairs[1].m_bSegmentStart);
    EXPECT_TRUE(pairs[2].m_bSegmentStart);
    EXPECT_FALSE(pairs[2].m_bSlip);
    EXPECT_EQ(run.tracker.Slips(), 0u);
    // Each channel is a series of its own as well.
    EXPECT_EQ(run.Of("A").size(), 5u);
    EXPECT_EQ(run.Of("B").size(), 5u);
}

TEST(CounterTracker, PairsNeverSpanMoreThanHalfASecond)
{
    Feed run;
    run.Add("10.000000000000 chA");
    run.Add("10.600000000000 chB", 600);  // too late for this A
    run.Add("11.000000000000 chA", 400);  // but near enough to this one
    run.Add("12.000000000000 chA", 1000);
    run.Add("12.500000000000 chB", 500);  // exactly the window: pairs
    auto pairs = run.Of("A-B");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].m_phasePs, 400000000000);
    EXPECT_EQ(pairs[1].m_phasePs, -500000000000);
    EXPECT_EQ(run.tracker.Unpaired(), 1u);
}

TEST(CounterTracker, SingleChannelFractionUnwrapsAcrossTheSecond)
{
    Feed run;
    run.Add("1.999999999900 chA");
    run.Add("3.000000000300 chA", 1000);  // 400 ps later, across a whole second
    run.Add("3.999999999800 chA", 1000);
    auto a = run.Of("A");
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0].m_phasePs, 999999999900);
    EXPECT_EQ(a[1].m_phasePs, 1000000000300);
    EXPECT_EQ(a[2].m_phasePs, 999999999800);
    EXPECT_EQ(run.tracker.Slips(), 0u);
    EXPECT_EQ(run.tracker.Primary(), "A");
    EXPECT_EQ(run.tracker.Unpaired(), 0u);  // one channel loses nothing
    ASSERT_TRUE(run.tracker.IntervalSeconds());
    EXPECT_NEAR(*run.tracker.IntervalSeconds(), 1.0, 1e-9);
}

TEST(CounterTracker, StepsBeyondTheLimitAreSlipsThatEndSegments)
{
    Feed run(2000);  // a 2 ns limit
    run.Add("1.000000000000 chA");
    run.Add("2.000000002000 chA", 1000);  // exactly the limit: no slip
    run.Add("3.000000004001 chA", 1000);  // one ps beyond
    run.Add("4.000000004001 chA", 1000);
    run.Add("5.000000000000 chA", 1000);  // back again: a slip the other way
    auto a = run.Of("A");
    ASSERT_EQ(a.size(), 5u);
    EXPECT_FALSE(a[1].m_bSlip);
    EXPECT_TRUE(a[2].m_bSlip);
    EXPECT_TRUE(a[2].m_bSegmentStart);
    EXPECT_FALSE(a[3].m_bSegmentStart);
    EXPECT_TRUE(a[4].m_bSlip);
    EXPECT_EQ(run.tracker.Slips(), 2u);
}

TEST(CounterTracker, IntervalIsMeasuredAndGapsFollowIt)
{
    // A counter gated at 2 s: 2 s is its usual interval, not a gap.
    Feed run;
    for (int i = 0; i < 6; ++i) {
        std::string line = std::to_string(10 + 2 * i) + ".000000000000 chA";
        run.Add(line.c_str(), 2000);
    }
    run.Add("24.000000000000 chA", 4000);  // one missed
    auto a = run.Of("A");
    ASSERT_EQ(a.size(), 7u);
    EXPECT_FALSE(a[2].m_bSegmentStart);
    EXPECT_FALSE(a[5].m_bSegmentStart);
    EXPECT_TRUE(a[6].m_bSegmentStart);
    EXPECT_NEAR(*run.tracker.IntervalSeconds(), 2.0, 1e-9);
    // A counter restarted: its time scale begins again.
    run.Add("0.000000000000 chA", 2000);
    EXPECT_TRUE(run.all.back().m_bSegmentStart);
}

TEST(CounterTracker, ReadingsArePhasesAndPairByArrival)
{
    CCounterTracker tracker;
    std::vector<CCounterSample> out;
    tracker.Add(*ParseReadingLine("1.5e-6 TI(A->B)"), 1000, out);
    tracker.Add(*ParseReadingLine("-2.5e-9"), 2000, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].m_strChannel, "A-B");
    EXPECT_EQ(out[1].m_phasePs, -2500);
    EXPECT_TRUE(out[1].m_bSlip);  // 1.5025 us in one step
    out.clear();
    CCounterTracker tagged;
    tagged.Add(*ParseReadingLine("3e-9 chB"), 5000, out);
    tagged.Add(*ParseReadingLine("5e-9 chA"), 5200, out);
    tagged.Add(*ParseReadingLine("6e-9 chA"), 6000, out);
    tagged.Add(*ParseReadingLine("4e-9 chB"), 6600, out);  // 600 ms later: no pair
    int pairs = 0;
    for (const auto& s : out)
        if (s.m_strChannel == "A-B") {
            ++pairs;
            EXPECT_EQ(s.m_phasePs, 2000);
        }
    EXPECT_EQ(pairs, 1);
    EXPECT_EQ(tagged.Unpaired(), 1u);
}

TEST(CounterTracker, ExtremeValuesAreSlipsAndGapsNotOverflows)
{
    // Readings near the ends of 64-bit picoseconds: the step between them
    // does not fit, and is a slip.
    CCounterTracker readings;
    std::vector<CCounterSample> out;
    readings.Add(*ParseReadingLine("9000000"), 1000, out);
    readings.Add(*ParseReadingLine("-9000000"), 2000, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[1].m_bSlip);
    // Timestamps leaping by years: each leap is a gap, however large the
    // usual interval has become.
    Feed run;
    run.Add("1.000000000000 chA");
    run.Add("4000000.000000000000 chA", 1000);
    run.Add("8000000.000000000000 chA", 1000);
    run.Add("8000001.000000000000 chA", 1000);
    auto a = run.Of("A");
    ASSERT_EQ(a.size(), 4u);
    EXPECT_TRUE(a[1].m_bSegmentStart);
    EXPECT_FALSE(a[2].m_bSegmentStart);  // the same leap again: the usual now
    EXPECT_FALSE(a[3].m_bSegmentStart);
}

struct Collect : ICounterObserver {
    std::vector<CCounterSample> samples;
    void OnCounterSample(const CCounterSession&, const CCounterSample& s) override { samples.push_back(s); }
};

TEST(CounterSession, ReadsStampsReopensAndGoesDown)
{
    CFakeHost host;
    CFakeSerialDevice device;
    device.m_bFailOpen = true;
    device.m_nReadChunk = 7;  // lines arrive in pieces
    CCounterOptions options;
    options.m_strDevice = "/dev/ttyACM0";
    options.m_format = CounterFormat::Timestamp;
    CCounterSession session(host, device, options);
    Collect collect;
    session.AddObserver(collect);

    session.Tick();
    EXPECT_FALSE(session.IsOpen());
    device.m_bFailOpen = false;
    host.Advance(1000);
    session.Tick();  // too soon to try again
    EXPECT_FALSE(session.IsOpen());
    host.Advance(1000);
    session.Tick();
    ASSERT_TRUE(session.IsOpen());
    EXPECT_EQ(device.m_applied.m_nBaud, 115200);
    EXPECT_EQ(device.m_applied.m_nDataBits, 8);
    EXPECT_EQ(device.m_applied.m_chParity, 'N');
    EXPECT_EQ(device.m_applied.m_nStopBits, 1);
    EXPECT_FALSE(session.IsUp());

    device.QueueInput("TICC v1\r\n7.000000000010 chA\r\n7.000000000000 chB\r\nnoise\r\n");
    host.Advance(200);
    session.Tick();
    ASSERT_EQ(collect.samples.size(), 3u);
    EXPECT_EQ(collect.samples[2].m_strChannel, "A-B");
    EXPECT_EQ(collect.samples[2].m_qwTick, host.TickCount());
    EXPECT_EQ(session.Parser().ParseErrors(), 1u);
    EXPECT_EQ(session.Lines(), 2u);
    EXPECT_TRUE(session.IsUp());
    host.Advance(CCounterSession::kUpWindowMs + 1);
    EXPECT_FALSE(session.IsUp());

    // A read error closes the device; it is opened again later.
    device.m_bFailRead = true;
    session.Tick();
    EXPECT_FALSE(session.IsOpen());
    device.m_bFailRead = false;
    host.Advance(CCounterSession::kReopenPeriodMs);
    session.Tick();
    EXPECT_TRUE(session.IsOpen());
}

}  // namespace
}  // namespace velmor
