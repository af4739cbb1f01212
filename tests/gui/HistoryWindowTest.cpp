// The History window over a recorded day, and the desktop program going on
// when its history database is damaged.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <qcustomplot.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "HistoryFeed.h"
#include "HistoryWindow.h"
#include "MainFrame.h"
#include "TrevikView.h"
#include "app/Program.h"
#include "history/HistoryStore.h"

namespace velmor::test {
namespace {

constexpr std::int64_t kT0 = 1796601600000;  // 2026-12-07T00:00:00Z
constexpr int kDayS = 86400;
// The day's story: coasting from 05:00 to 06:00, the link lost for the
// minute before 12:00 (no rows), the row at 12:00 marked.
constexpr int kCoastFromS = 5 * 3600;
constexpr int kCoastToS = 6 * 3600;
constexpr int kGapFromS = 12 * 3600 - 60;
constexpr int kGapToS = 12 * 3600;

std::string TempDir(const char* name)
{
    const auto dir = std::filesystem::temp_directory_path() /
                     ("velmor-guitest-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

// One row a second for a day: the 1PPS offset wanders around 0 ns, the
// frequency error around 2e-12, the DAC climbs 100 steps a day, the
// temperature swings around 40 degrees, 8 satellites.
void RecordDay(const std::string& path)
{
    CHistoryOptions options;
    options.m_strPath = path;
    options.m_clock = [] { return kT0 + std::int64_t{kDayS} * 1000; };
    CHistoryStore store(options);
    store.SetUnit("512-6200-03", "/dev/ttyS0", "V1", 16);
    for (int i = 0; i < kDayS; ++i) {
        if (i >= kGapFromS && i < kGapToS) continue;
        CHistoryRow row;
        row.m_llHostMs = kT0 + std::int64_t{i} * 1000;
        row.m_dPpsOffsetNs = 5.0 * std::sin(i * 0.37) + (i % 7) - 3.0;
        row.m_nPpsCount = 1;
        row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
        row.m_dFrequencyError = 2e-12 + 1e-12 * std::sin(i * 0.001);
        row.m_dDac = 32000.0 + 100.0 * i / kDayS;
        row.m_dTemperatureC = 40.0 + 2.0 * std::sin(i * 2 * M_PI / kDayS);
        row.m_nSatellitesUsed = 8;
        row.m_nDisciplineState = i >= kCoastFromS && i < kCoastToS ? 2 : 1;
        if (i == kGapToS) row.m_marker = HistoryMarker::LinkLost;
        store.Append(row);
        // The queue is bounded: it must drain before it overflows.
        if (i % 4000 == 3999) {
            ASSERT_TRUE(store.Flush(60000));
        }
    }
    ASSERT_TRUE(store.Flush(60000));
    ASSERT_EQ(store.Counters().m_qwRowsDropped, 0u);
}

// The numbers of the statistics line that starts with |name|.
std::vector<double> StatisticsOf(const QString& text, const QString& name)
{
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty() || words[0] != name) continue;
        std::vector<double> numbers;
        for (qsizetype i = 1; i < words.size(); ++i) {
            bool ok = false;
            const double v = words[i].toDouble(&ok);
            if (ok) numbers.push_back(v);
        }
        return numbers;
    }
    return {};
}


TEST(HistoryWindowTest, ShowsARecordedDayItsSpansStatisticsShadingAndDeviations)
{
    App();
    const std::string dir = TempDir("window");
    const std::string path = dir + "/history.sqlite3";
    RecordDay(path);

    CHistoryWindow window(path);
    window.resize(1200, 800);
    window.show();
    Pump(50);

    // Opens on the last day, every plot drawn from the minute roll-ups.
    const std::int64_t lastMs = kT0 + std::int64_t{kDayS - 1} * 1000;
    EXPECT_EQ(window.VisibleToMs(), lastMs + 1000);
    EXPECT_EQ(window.VisibleToMs() - window.VisibleFromMs(), std::int64_t{kDayS} * 1000);
    for (int i = 0; i < kHistoryPlotCount; ++i) EXPECT_GT(window.PlottedPoints(i), 600) << "plot " << i;

    // Statistics of the day: the temperature's mean and extremes, the DAC's
    // drift from the fit, the satellites' constant count.
    const QString stats = window.StatisticsText();
    const std::vector<double> temp = StatisticsOf(stats, "Temp");
    ASSERT_EQ(temp.size(), 5u) << stats.toStdString();
    EXPECT_NEAR(temp[0], 40.0, 0.05);
    EXPECT_NEAR(temp[2], 38.0, 0.01);
    EXPECT_NEAR(temp[3], 42.0, 0.01);
    const std::vector<double> dac = StatisticsOf(stats, "DAC");
    ASSERT_EQ(dac.size(), 5u);
    EXPECT_NEAR(dac[4], 100.0, 1.0);
    const std::vector<double> sats = StatisticsOf(stats, "Sats");
    ASSERT_EQ(sats.size(), 5u);
    EXPECT_EQ(sats[0], 8.0);
    EXPECT_NEAR(sats[4], 0.0, 1e-9);

    // The coasting hour and the link loss are shaded (read off the GUI thread).
    ASSERT_TRUE(PumpUntil([&] { return !window.IsPeriodsBusy() && window.ShadedPeriods() > 0; }));
    EXPECT_EQ(window.ShadedPeriods(), 2);

    // The 1 h button: the last hour, now from raw rows.
    auto* pHour = window.findChild<QPushButton*>(QStringLiteral("span1h"));
    ASSERT_NE(pHour, nullptr);
    pHour->click();
    EXPECT_EQ(window.VisibleToMs() - window.VisibleFromMs(), std::int64_t{3600} * 1000);
    EXPECT_EQ(window.VisibleToMs(), lastMs + 1000);
    EXPECT_GE(window.PlottedPoints(0), 3600);
    EXPECT_NEAR(StatisticsOf(window.StatisticsText(), "DAC").at(4), 100.0, 1.0);

    // The readout under the mouse names the time and the values there.
    QCPAxisRect* pTop = window.Plot()->axisRect(0);
    window.HoverAt(QPoint(pTop->center().x(), pTop->center().y()));
    EXPECT_TRUE(window.HoverText().contains(QStringLiteral("2026-12-07 23:")));
    EXPECT_TRUE(window.HoverText().contains(QStringLiteral("Sats 8"))) << window.HoverText().toStdString();

    // Deviations of the whole day: locked periods only, split at the link
    // loss and around the coasting hour.
    window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
    window.Tabs()->setCurrentIndex(1);
    ASSERT_TRUE(PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationPoints() > 0; }));
    const int lockedPoints = kDayS - (kGapToS - kGapFromS) - (kCoastToS - kCoastFromS);
    EXPECT_EQ(window.DeviationSummary().toStdString(),
              QStringLiteral("3 segments, 82\u2009740 points, 2026-12-07 00:00 \u2013 23:59 UTC").toStdString());
    EXPECT_EQ(lockedPoints, 82740);
    EXPECT_GE(window.DeviationPoints(), 4 * 12);  // four deviations, octaves up to a quarter of 5 h
    EXPECT_FALSE(window.DeviationPlot()->graph(0)->data()->isEmpty());

    // Every period, coasting included: only the link loss splits.
    window.findChild<QCheckBox*>(QStringLiteral("lockedOnly"))->setChecked(false);
    ASSERT_TRUE(PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationSummary().startsWith("2 "); }));
    EXPECT_TRUE(window.DeviationSummary().startsWith(QStringLiteral("2 segments, 86\u2009340 points")))
        << window.DeviationSummary().toStdString();
    std::filesystem::remove_all(dir);
}

TEST(HistoryWindowTest, ADamagedDatabaseIsReportedOnceInTheStatusBarAndTheProgramRuns)
{
    App();
    const std::string dir = TempDir("damaged");
    const std::string path = dir + "/history.sqlite3";
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 512; ++i) out << "not a database, not at all. ";
    }
    CRecordingHost host;
    CMemoryDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program(host, device, profile);
    {
        CHistoryFeed feed(program, path);
        CMainFrame frame(program, host, profile);
        frame.SetHistory(&feed, path);
        frame.show();
        ASSERT_TRUE(frame.View()->StartPollTimer(50));
        ASSERT_TRUE(PumpUntil([&] { return !frame.statusBar()->currentMessage().isEmpty(); }));
        const QString message = frame.statusBar()->currentMessage();
        EXPECT_TRUE(message.startsWith(QStringLiteral("History recording stopped"))) << message.toStdString();
        EXPECT_TRUE(host.m_boxes.empty());
        // Said once: an operator's later message stays.
        frame.statusBar()->showMessage(QStringLiteral("something else"));
        Pump(400);
        EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("something else"));
        EXPECT_TRUE(frame.View()->IsPollTimerActive());
        // The History window opens over the same file and says what it can.
        frame.OpenHistory();
        ASSERT_NE(frame.HistoryWindow(), nullptr);
        EXPECT_TRUE(frame.HistoryWindow()->isVisible());
        frame.close();
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor::test
