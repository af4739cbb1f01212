// The readings decoded once from the unit state, and the shared rules:
// the satellite counts, the enums that keep the unit's character, the
// freshness of each reading, and where a run of samples breaks.

#include <gtest/gtest.h>

#include <tuple>

#include "protocol/Reported.h"
#include "readings/Decode.h"
#include "readings/Rules.h"

namespace velmor {
namespace {

std::uint32_t Bits(Reported what) { return static_cast<std::uint32_t>(what); }

void SetRow(CUnitState& s, int i, const char* prn, int strength, char track)
{
    s.m_aSatellites[i] = CSatelliteRow{prn, strength, track};
}

TEST(Readings, SatellitesCountByOneRule)
{
    CUnitState s;
    s.m_nProductType = 16;  // track mode 2 is "Using", 1 is not
    for (int i = 0; i < 8; ++i) SetRow(s, i, "00", 0, '0');
    SetRow(s, 0, "05", 45, '2');
    SetRow(s, 1, "12", 40, '1');
    SetRow(s, 2, "00", 30, '2');   // empty channel
    SetRow(s, 3, "21", 33, '0');   // still searching
    SetRow(s, 4, "x7", 20, '2');   // no number
    SetRow(s, 5, "-3", 20, '2');   // not above 0
    SetRow(s, 6, "07", 20, '2');   // beyond a 6-channel receiver
    struct Case {
        char channels;
        int tracked;
        int used;
    };
    // Values outside 1..8 read as 8; '0' is outside too.
    for (const Case c : {Case{'6', 2, 1}, Case{'8', 3, 2}, Case{'0', 3, 2}, Case{'9', 3, 2}, Case{'2', 2, 1},
                         Case{'1', 1, 1}}) {
        s.m_chGpsChannels = c.channels;
        CReadings r;
        UpdateReadings(r, s, Bits(Reported::Satellites), "SIGQ", 100);
        EXPECT_EQ(r.m_nSatellitesTracked, c.tracked) << c.channels;
        EXPECT_EQ(r.m_nSatellitesUsed, c.used) << c.channels;
        ASSERT_TRUE(r.m_satellites.m_value);
        EXPECT_EQ(static_cast<int>(r.m_satellites.m_value->size()), c.tracked);
    }
    // The mean strength is over the tracked ones only.
    s.m_chGpsChannels = '8';
    CReadings r;
    UpdateReadings(r, s, Bits(Reported::Satellites), "SIGQ", 100);
    ASSERT_TRUE(r.m_dMeanStrength);
    EXPECT_DOUBLE_EQ(*r.m_dMeanStrength, (45 + 40 + 20) / 3.0);
    EXPECT_EQ(r.m_satellites.m_value->at(2).m_nPrn, 7);
    // The legacy unit's track mode 2 is not "Using"; its 1 is.
    s.m_nProductType = 9;
    UpdateReadings(r, s, Bits(Reported::Satellites), "VS", 200);
    EXPECT_EQ(r.m_nSatellitesTracked, 3);
    EXPECT_EQ(r.m_nSatellitesUsed, 1);
    EXPECT_TRUE(r.m_satellites.m_value->at(1).m_bInUse);
}

TEST(Readings, EnumsKeepTheUnitsCharacterAndNumbersRefusePlaceholders)
{
    CUnitState s;
    s.m_chDisciplineState = '7';
    s.m_chTimeMode = 'U';
    s.m_chPositionMode = 'S';
    s.m_chTfom = '?';
    s.m_strDacValue = "327??";
    s.m_strTemperature = " 045.5 ";
    CReadings r;
    UpdateReadings(r, s,
                   Bits(Reported::DisciplineState | Reported::TimeMode | Reported::PositionMode | Reported::Tfom |
                        Reported::Dac | Reported::Temperature),
                   "X", 5);
    ASSERT_TRUE(r.m_disciplineState.m_value);
    EXPECT_EQ(r.m_disciplineState.m_value->m_value, DisciplineState::Unknown);
    EXPECT_EQ(r.m_disciplineState.m_value->m_chRaw, '7');
    EXPECT_EQ(r.m_timeMode.m_value->m_value, TimeMode::Utc);
    EXPECT_EQ(r.m_positionMode.m_value->m_value, PositionMode::Averaging);
    // Reported, but as text that is no number: a tick without a value.
    EXPECT_TRUE(r.m_tfom.Reported());
    EXPECT_FALSE(r.m_tfom.m_value);
    EXPECT_TRUE(r.m_dac.Reported());
    EXPECT_FALSE(r.m_dac.m_value);
    EXPECT_DOUBLE_EQ(r.m_temperatureC.m_value.value_or(0), 45.5);
    EXPECT_FALSE(IsLocked(r));
    s.m_chDisciplineState = '1';
    UpdateReadings(r, s, Bits(Reported::DisciplineState), "TIME", 6);
    EXPECT_TRUE(IsLocked(r));
}

TEST(Readings, FreshnessIsPerReadingAndPerSentence)
{
    CUnitState s;
    s.m_nLastTimeDiff = -12;
    s.m_nCoastDuration = 40;
    s.m_nCoastCount = 3;
    CReadings r;
    UpdateReadings(r, s, Bits(Reported::PpsOffset), "TIMD", 1000);
    EXPECT_TRUE(r.JustReported(r.m_ppsOffsetNs));
    EXPECT_FALSE(r.JustReported(r.m_timeReport));
    // The output-status report's coast field is a count, not the duration.
    UpdateReadings(r, s, Bits(Reported::CoastDuration), "OUTQ", 2000);
    EXPECT_FALSE(r.JustReported(r.m_ppsOffsetNs));
    EXPECT_EQ(*r.m_ppsOffsetNs.m_qwTick, 1000u);
    EXPECT_TRUE(r.JustReported(r.m_coastCount));
    EXPECT_FALSE(r.m_coastDurationS.Reported());
    UpdateReadings(r, s, Bits(Reported::CoastDuration), "NTLC", 3000);
    EXPECT_EQ(r.m_coastDurationS.m_value.value_or(0), 40);
    // A time report counts as the heartbeat even when its fields were cut short.
    UpdateReadings(r, s, 0, "TIME", 4000);
    EXPECT_TRUE(r.JustReported(r.m_timeReport));
    EXPECT_FALSE(r.m_unitTime.Reported());
    EXPECT_EQ(r.m_qwSentences, 4u);
}

TEST(Rules, SegmentsBreakWhereTheUnitsSecondsAreNotConsecutiveElseAfterOneAndAHalfHostSeconds)
{
    // The unit's seconds decide wherever both samples carry one, whatever
    // the host clock did (late, early, or stepped back).
    const CRunSample at0{1000, false, 100};
    EXPECT_FALSE(SegmentBreak(at0, CRunSample{4000, false, 101}));
    EXPECT_FALSE(SegmentBreak(at0, CRunSample{500, false, 101}));
    EXPECT_TRUE(SegmentBreak(at0, CRunSample{2000, false, 102})) << "a missing second";
    EXPECT_TRUE(SegmentBreak(at0, CRunSample{2000, false, 100})) << "the same second again";
    EXPECT_TRUE(SegmentBreak(at0, CRunSample{2000, false, 99}));
    EXPECT_TRUE(SegmentBreak(at0, CRunSample{2000, true, 101})) << "a marker";
    // Without the unit's second on either side: the host time, forward only.
    const CRunSample host{1000, false, std::nullopt};
    EXPECT_FALSE(SegmentBreak(host, CRunSample{2500, false, std::nullopt}));
    EXPECT_TRUE(SegmentBreak(host, CRunSample{2501, false, std::nullopt}));
    EXPECT_TRUE(SegmentBreak(host, CRunSample{900, false, std::nullopt})) << "a host clock stepped back";
    EXPECT_TRUE(SegmentBreak(at0, CRunSample{2600, false, std::nullopt}));
    EXPECT_FALSE(IsStale(9999));
    EXPECT_TRUE(IsStale(10000));
    EXPECT_TRUE(IsLocked(DisciplineState::Locked));
    EXPECT_FALSE(IsLocked(DisciplineState::Holdover));
    EXPECT_FALSE(IsLocked(CReadings{}));
}

TEST(Rules, ASampleIsSettledLockedOnlyAfterTheSettlingTimeWithoutABreak)
{
    CSettledLock settled(60);
    int first = -1;
    for (int s = 0; s < 70; ++s)
        if (settled.Step(true, s * 1000, false) && first < 0) first = s;
    EXPECT_EQ(first, 60);
    // A short gap with lock on both sides keeps the count.
    EXPECT_TRUE(settled.Step(true, 75000, false));
    // Unlocked for one sample, a marker, or a gap over the stale limit: the count starts again.
    for (const auto& [locked, marker, atMs] :
         {std::tuple{false, false, 76000}, std::tuple{true, true, 77000}, std::tuple{true, false, 200000}}) {
        CSettledLock again(60);
        for (int s = 0; s < 70; ++s) again.Step(true, s * 1000, false);
        if (!locked) again.Step(false, atMs, marker);
        const std::int64_t from = locked ? atMs : atMs + 1000;
        EXPECT_FALSE(again.Step(true, from, locked && marker));
        for (std::int64_t at = from + 1000; at < from + 60000; at += 1000) EXPECT_FALSE(again.Step(true, at, false));
        EXPECT_TRUE(again.Step(true, from + 60000, false));
    }
    CSettledLock immediate(0);
    EXPECT_TRUE(immediate.Step(true, 5, false));
    EXPECT_FALSE(immediate.Step(false, 6, false));
}

}  // namespace
}  // namespace velmor
