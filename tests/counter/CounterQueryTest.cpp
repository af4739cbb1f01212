// Reading the counter's record back for the desktop's plots and deviations:
// which counter beside which unit, one series over a range, segment starts,
// buckets for long spans, and files that hold no counter at all.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "counter/CounterHistory.h"
#include "counter/CounterQuery.h"
#include "history/HistoryStore.h"

namespace velmor {
namespace {

class CounterQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("velmor-counterquery-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / "h.sqlite3").string();
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    void Write(const std::vector<CCounterRow>& rows)
    {
        CCounterStore store(m_path, 30, [] { return std::int64_t{1000000}; });
        for (const CCounterRow& row : rows) store.Append(row);
        ASSERT_TRUE(store.Flush(20000));
    }
    static CCounterRow Row(const char* unit, const char* counter, std::int64_t ms, const char* channel,
                           std::int64_t phasePs, bool start = false)
    {
        CCounterRow row;
        row.m_strUnit = unit;
        row.m_strCounter = counter;
        row.m_llHostMs = ms;
        row.m_strChannel = channel;
        row.m_strText = "1.0";
        row.m_phasePs = phasePs;
        row.m_bSegmentStart = start;
        return row;
    }

    std::filesystem::path m_dir;
    std::string m_path;
};

TEST_F(CounterQueryTest, OneSeriesOfOneCounterBesideOneUnitOverARange)
{
    Write({Row("/dev/unit", "/dev/ticc2", 1000, "A-B", 7),
           Row("/dev/unit", "/dev/ticc1", 1000, "A-B", 10, true),
           Row("/dev/unit", "/dev/ticc1", 1000, "A", 999),
           Row("/dev/unit", "/dev/ticc1", 2000, "A-B", 20),
           Row("/dev/unit", "/dev/ticc1", 3000, "A-B", 5000020, true),  // after a slip
           Row("/dev/unit", "/dev/ticc1", 4000, "A-B", 5000030),
           Row("/dev/other", "/dev/ticc1", 2000, "A-B", 1)});
    // Unnamed: the first counter by name; only its A-B; [from, to).
    CCounterPhaseRead read = ReadCounterPhase(m_path, "/dev/unit", "A-B", 1000, 4000);
    EXPECT_EQ(read.m_strCounter, "/dev/ticc1");
    EXPECT_TRUE(read.m_strError.empty());
    ASSERT_EQ(read.m_points.size(), 3u);
    EXPECT_EQ(read.m_points[0].m_llHostMs, 1000);
    EXPECT_DOUBLE_EQ(read.m_points[1].m_dPhaseSeconds, 20e-12);
    EXPECT_TRUE(read.m_points[2].m_bSegmentStart);
    // The statistics never bridge a segment start.
    const auto segments = CounterSegments(read.m_points);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].size(), 2u);
    EXPECT_EQ(segments[1].size(), 1u);

    read = ReadCounterPhase(m_path, "/dev/unit", "A-B", 0, 10000, "/dev/ticc2");
    ASSERT_EQ(read.m_points.size(), 1u);
    EXPECT_DOUBLE_EQ(read.m_points[0].m_dPhaseSeconds, 7e-12);

    // Buckets of two seconds: their means at their first sample, a slip
    // inside one marks it.
    read = ReadCounterPhase(m_path, "/dev/unit", "A-B", 1000, 5000, {}, 2000);
    ASSERT_EQ(read.m_points.size(), 2u);
    EXPECT_EQ(read.m_points[0].m_llHostMs, 1000);
    EXPECT_DOUBLE_EQ(read.m_points[0].m_dPhaseSeconds, 15e-12);
    EXPECT_EQ(read.m_points[1].m_llHostMs, 3000);
    EXPECT_NEAR(read.m_points[1].m_dPhaseSeconds, 5000025e-12, 1e-18);
    EXPECT_TRUE(read.m_points[1].m_bSegmentStart);

    // A unit with no counter beside it: nothing, and no error.
    read = ReadCounterPhase(m_path, "/dev/none", "A-B", 0, 10000);
    EXPECT_TRUE(read.m_strCounter.empty());
    EXPECT_TRUE(read.m_points.empty());
    EXPECT_TRUE(read.m_strError.empty());
}

TEST_F(CounterQueryTest, FilesWithoutCounterSamplesReadAsNoneAndMissingOnesSaySo)
{
    {
        CHistoryOptions options;
        options.m_strPath = m_path;
        CHistoryStore store(options);
        store.SetUnit("512-6200-03", "/dev/unit", "V1", 16);
        ASSERT_TRUE(store.Flush(20000));
    }
    CCounterPhaseRead read = ReadCounterPhase(m_path, "/dev/unit", "A-B", 0, 10000);
    EXPECT_TRUE(read.m_strError.empty()) << read.m_strError;
    EXPECT_TRUE(read.m_strCounter.empty());
    read = ReadCounterPhase((m_dir / "absent.sqlite3").string(), "/dev/unit", "A-B", 0, 10000);
    EXPECT_FALSE(read.m_strError.empty());
    EXPECT_TRUE(read.m_points.empty());
}

}  // namespace
}  // namespace velmor
