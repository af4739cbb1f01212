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

// Buckets of whole minutes read the roll-ups: the same means as the samples
// give, at the buckets' starts, a segment start marking its bucket; without
// roll-ups (a file from before them) the samples are bucketed instead; with
// the samples pruned the roll-ups alone name the counter.
TEST_F(CounterQueryTest, LongSpansReadTheRollupsWithTheSamplesMeans)
{
    constexpr std::int64_t kHour = 3600000;
    const std::int64_t t0 = 500000 * kHour;
    std::vector<CCounterRow> rows;
    for (int i = 0; i < 3 * 3600; i += 5)
        rows.push_back(Row("/dev/unit", "/dev/ticc1", t0 + std::int64_t{i} * 1000 + 300, "A-B",
                           (i * 37) % 4000 + (i >= 7200 ? 9000 : 0), i == 7200));
    Write(rows);
    auto check = [&](std::int64_t bucketMs, bool rollups, std::size_t count) {
        // From the middle of a minute: the bucket starts stay multiples of the width.
        const CCounterPhaseRead read =
            ReadCounterPhase(m_path, "/dev/unit", "A-B", t0 + 30000, t0 + 3 * kHour, {}, bucketMs);
        EXPECT_EQ(read.m_bFromRollups, rollups);
        ASSERT_EQ(read.m_points.size(), count) << bucketMs;
        for (const CCounterPhasePoint& point : read.m_points) {
            const std::int64_t start = rollups ? point.m_llHostMs : point.m_llHostMs - 300;
            if (rollups) {
                EXPECT_EQ(start % bucketMs, 0);
            }
            double sum = 0;
            int n = 0;
            bool marked = false;
            for (const CCounterRow& row : rows)
                if (row.m_llHostMs >= (rollups ? start : std::max(start, t0 + 30000)) &&
                    row.m_llHostMs < start + bucketMs) {
                    sum += static_cast<double>(row.m_phasePs);
                    ++n;
                    marked = marked || row.m_bSegmentStart;
                }
            ASSERT_GT(n, 0);
            EXPECT_NEAR(point.m_dPhaseSeconds, sum / n * 1e-12, 1e-20) << start;
            EXPECT_EQ(point.m_bSegmentStart, marked) << start;
        }
    };
    // Two-minute buckets of minute roll-ups (the first minute read whole),
    // hour buckets of hour roll-ups.
    check(120000, true, 90);
    check(kHour, true, 3);
    CSqliteDb db;
    ASSERT_EQ(db.Open(m_path, SQLITE_OPEN_READWRITE), SQLITE_OK);
    ASSERT_EQ(db.Exec("ALTER TABLE counter_rollups RENAME TO kept"), SQLITE_OK);
    check(kHour, false, 3);
    // Samples pruned: the counter is still found, by its roll-ups.
    ASSERT_EQ(db.Exec("ALTER TABLE kept RENAME TO counter_rollups; DELETE FROM counter_samples"), SQLITE_OK);
    check(kHour, true, 3);
    db.Close();
}

}  // namespace
}  // namespace velmor
