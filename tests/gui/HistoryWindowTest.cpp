// The History window over a recorded day, and the desktop program going on
// when its history database is damaged.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <qcustomplot.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "HistoryFeed.h"
#include "HistoryWindow.h"
#include "MainFrame.h"
#include "TrevikView.h"
#include "EventsWindow.h"
#include "LinkHealthWindow.h"
#include "app/Menu.h"
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

// The mean, RMS, min and max of the statistics line that starts with |name|.
std::vector<double> StatisticsOf(const QString& text, const QString& name)
{
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty() || words[0] != name) continue;
        std::vector<double> numbers;
        for (qsizetype i = 1; i < words.size() && numbers.size() < 4; ++i) {
            bool ok = false;
            const double v = words[i].toDouble(&ok);
            if (ok) numbers.push_back(v);
        }
        return numbers;
    }
    return {};
}

// The drift column of the line that starts with |name|, as written.
std::string DriftOf(const QString& text, const QString& name)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const qsizetype column = lines.value(0).indexOf(QStringLiteral("drift"));
    for (const QString& line : lines)
        if (line.section(QLatin1Char(' '), 0, 0) == name) return line.mid(column).trimmed().toStdString();
    return "?";
}

// The number a drift text starts with ("+99.9/day": 99.9).
double DriftNumber(const std::string& drift) { return std::strtod(drift.c_str(), nullptr); }

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
    ASSERT_EQ(temp.size(), 4u) << stats.toStdString();
    EXPECT_NEAR(temp[0], 40.0, 0.05);
    EXPECT_NEAR(temp[2], 38.0, 0.01);
    EXPECT_NEAR(temp[3], 42.0, 0.01);
    const std::string dacDrift = DriftOf(stats, "DAC");
    EXPECT_TRUE(dacDrift.ends_with("/day")) << dacDrift;
    EXPECT_NEAR(DriftNumber(dacDrift), 100.0, 1.0) << dacDrift;
    const std::vector<double> sats = StatisticsOf(stats, "Sats");
    ASSERT_EQ(sats.size(), 4u);
    EXPECT_EQ(sats[0], 8.0);
    // A count has no drift column; the frequency's drift is a fraction a day.
    EXPECT_EQ(DriftOf(stats, "Sats"), "");
    const std::string freqDrift = DriftOf(stats, "Freq");
    EXPECT_TRUE(freqDrift.ends_with("/day") && freqDrift.find("e-1") != std::string::npos) << freqDrift;
    EXPECT_EQ(freqDrift.find(' '), std::string::npos) << freqDrift;

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
    EXPECT_NEAR(DriftNumber(DriftOf(window.StatisticsText(), "DAC")), 100.0, 1.0);

    // The readout under the mouse names the time and the values there.
    QCPAxisRect* pTop = window.Plot()->axisRect(0);
    window.HoverAt(QPoint(pTop->center().x(), pTop->center().y()));
    EXPECT_TRUE(window.HoverText().contains(QStringLiteral("2026-12-07 23:")));
    EXPECT_TRUE(window.HoverText().contains(QStringLiteral("Sats 8"))) << window.HoverText().toStdString();

    // Deviations of the whole day: settled-locked periods only (the first
    // minute of each locked run is left out), split at the link loss and
    // around the coasting hour.
    window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
    window.Tabs()->setCurrentIndex(1);
    ASSERT_TRUE(PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationPoints() > 0; }));
    const int lockedPoints = kDayS - (kGapToS - kGapFromS) - (kCoastToS - kCoastFromS);
    EXPECT_EQ(window.DeviationSummary().toStdString(),
              QStringLiteral("3 segments, 82\u2009560 points, 2026-12-07 00:01 \u2013 23:59 UTC").toStdString());
    EXPECT_EQ(lockedPoints - 3 * 60, 82560);
    EXPECT_GE(window.DeviationPoints(), 4 * 12);  // four deviations, octaves up to a quarter of 5 h
    EXPECT_FALSE(window.DeviationPlot()->graph(0)->data()->isEmpty());

    // Every period, coasting included: only the link loss splits.
    window.findChild<QCheckBox*>(QStringLiteral("lockedOnly"))->setChecked(false);
    ASSERT_TRUE(PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationSummary().startsWith("2 "); }));
    EXPECT_TRUE(window.DeviationSummary().startsWith(QStringLiteral("2 segments, 86\u2009340 points")))
        << window.DeviationSummary().toStdString();
    RemoveTestDirectory(dir);
}

// Ordinary data that used to break the plots: a day at one row every 10 s
// (drawn from roll-ups), then an hour at one a second (drawn raw). The
// frequency error is 5000e-12 give or take the last bit, the DAC and the
// temperature constant, 7 to 9 satellites, the 1PPS offset quiet within
// 3 ns but for one 5000 ns spike in each part.
constexpr int kQuietStepS = 10;
constexpr int kSpikeS = kDayS / 2;
constexpr int kRawSpikeS = kDayS + 1800;

void RecordOrdinaryData(const std::string& path)
{
    CHistoryOptions options;
    options.m_strPath = path;
    options.m_clock = [] { return kT0 + std::int64_t{kDayS + 3600} * 1000; };
    CHistoryStore store(options);
    store.SetUnit("512-6200-03", "/dev/ttyS0", "V1", 16);
    int n = 0;
    for (int t = 0; t < kDayS + 3600; t += t < kDayS ? kQuietStepS : 1) {
        CHistoryRow row;
        row.m_llHostMs = kT0 + std::int64_t{t} * 1000;
        row.m_dPpsOffsetNs = t == kSpikeS || t == kRawSpikeS ? 5000.0 : (t % 7) - 3.0;
        row.m_nPpsCount = 1;
        row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
        row.m_dFrequencyError = 5e-9 + (t % 3) * 1e-24;
        row.m_dDac = 32768.0;
        row.m_dTemperatureC = 40.0;
        row.m_nSatellitesUsed = 7 + (t / 600) % 3;
        row.m_nDisciplineState = 1;
        store.Append(row);
        if (++n % 4000 == 0) {
            ASSERT_TRUE(store.Flush(60000));
        }
    }
    ASSERT_TRUE(store.Flush(60000));
    ASSERT_EQ(store.Counters().m_qwRowsDropped, 0u);
}

// What one plot shows, read off the plot as drawn.
struct CDrawnAxis {
    QCPRange m_range;
    QVector<double> m_ticks;
    QVector<QString> m_labels;
};
CDrawnAxis Drawn(CHistoryWindow& window, int plot)
{
    window.Plot()->replot();
    QCPAxis* pY = window.Plot()->axisRect(plot)->axis(QCPAxis::atLeft);
    return {pY->range(), pY->tickVector(), pY->tickVectorLabels()};
}

// Checks the value axes of |window| as the operator would read them.
void ExpectReadableAxes(CHistoryWindow& window, const char* what)
{
    SCOPED_TRACE(what);
    // Frequency: a band of 0.2e-12 around 5000e-12, ticks that say
    // different things.
    const CDrawnAxis freq = Drawn(window, 1);
    EXPECT_LT(freq.m_range.lower, 5000.0);
    EXPECT_GT(freq.m_range.upper, 5000.0);
    EXPECT_NEAR(freq.m_range.size(), 0.2, 0.05);
    ASSERT_GE(freq.m_labels.size(), 3);
    for (qsizetype i = 1; i < freq.m_labels.size(); ++i)
        EXPECT_NE(freq.m_labels[i].toStdString(), freq.m_labels[i - 1].toStdString());
    // The counts and the constant DAC and temperature: whole ticks for the
    // counts, and each plot's data inside its axis, away from the edges.
    for (const int plot : {2, 4}) {
        const CDrawnAxis count = Drawn(window, plot);
        ASSERT_GE(count.m_ticks.size(), 2) << plot;
        for (qsizetype i = 0; i < count.m_ticks.size(); ++i) {
            EXPECT_EQ(count.m_ticks[i], std::round(count.m_ticks[i])) << plot;
            EXPECT_FALSE(count.m_labels[i].contains(QLatin1Char('.'))) << count.m_labels[i].toStdString();
        }
    }
    const CDrawnAxis dac = Drawn(window, 2);
    EXPECT_LT(dac.m_range.lower, 32768.0);
    EXPECT_GT(dac.m_range.upper, 32768.0);
    const CDrawnAxis sats = Drawn(window, 4);
    EXPECT_LE(sats.m_range.lower, 6.0);
    EXPECT_GE(sats.m_range.upper, 10.0);
    const CDrawnAxis temp = Drawn(window, 3);
    EXPECT_LT(temp.m_range.lower, 40.0);
    EXPECT_GT(temp.m_range.upper, 40.0);

    // As drawn: the frequency line crosses the plot at the height of 5000,
    // and nothing else of its colour (the roll-ups' band) is anywhere else.
    QCPAxisRect* pRect = window.Plot()->axisRect(1);
    const QImage image = window.Plot()->toPixmap().toImage();
    const int lineY = static_cast<int>(std::lround(pRect->axis(QCPAxis::atLeft)->coordToPixel(5000.0)));
    int onLine = 0;
    int elsewhere = 0;
    const QRect inside = pRect->rect().adjusted(2, 2, -2, -2);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            // The frequency's colour, solid or as the band's tint.
            if (c.red() - c.green() < 25 || c.red() - c.blue() < 25) continue;
            if (std::abs(y - lineY) <= 2) ++onLine;
            else ++elsewhere;
        }
    }
    EXPECT_GT(onLine, inside.width() / 2);
    EXPECT_EQ(elsewhere, 0);
}

TEST(HistoryWindowTest, ConstantDataCountsAndSpikesGetAxesThatReadAndAFairDrift)
{
    App();
    const std::string dir = TempDir("axes");
    const std::string path = dir + "/history.sqlite3";
    RecordOrdinaryData(path);

    CHistoryWindow window(path);
    window.resize(1200, 800);
    window.show();
    Pump(50);

    // The whole record, from roll-ups.
    window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
    ASSERT_GT(window.PlottedPoints(1), 600);
    ExpectReadableAxes(window, "roll-ups");
    // A constant series has no drift; the satellites have no drift column;
    // each drift is written once with its unit.
    const QString stats = window.StatisticsText();
    EXPECT_EQ(DriftOf(stats, "Freq"), "0/day") << stats.toStdString();
    EXPECT_EQ(DriftOf(stats, "DAC"), "0/day");
    EXPECT_EQ(DriftOf(stats, "Temp"), "0 \u00b0C/day");
    EXPECT_EQ(DriftOf(stats, "Sats"), "");
    EXPECT_TRUE(DriftOf(stats, "1PPS").ends_with(" ns/day"));
    EXPECT_TRUE(stats.contains(QStringLiteral("\u00d71e-12"))) << stats.toStdString();

    // The last hour, raw rows.
    window.findChild<QPushButton*>(QStringLiteral("span1h"))->click();
    ASSERT_GE(window.PlottedPoints(1), 3600);
    ExpectReadableAxes(window, "raw");

    // One spike squashes the 1PPS scale until the percentile scale cuts it
    // off and marks where it was.
    QCPAxis* pPps = window.Plot()->axisRect(0)->axis(QCPAxis::atLeft);
    EXPECT_GT(pPps->range().upper, 5000.0);
    EXPECT_EQ(window.ClippedMarks(), 0);
    ASSERT_NE(window.PercentileScale(), nullptr);
    EXPECT_EQ(window.PercentileScale()->text(), QStringLiteral("1st\u201399th percentile"));
    window.PercentileScale()->setChecked(true);
    EXPECT_GE(pPps->range().lower, -4.0);
    EXPECT_LE(pPps->range().upper, 4.0);
    EXPECT_LT(pPps->range().lower, -3.0);
    EXPECT_GT(pPps->range().upper, 3.0);
    EXPECT_EQ(window.ClippedMarks(), 1);
    // The mark: at the spike's time, inside the top edge of the plot.
    const QCPGraph* pMarks = nullptr;
    for (int i = 0; i < window.Plot()->graphCount(); ++i) {
        QCPGraph* pGraph = window.Plot()->graph(i);
        if (pGraph->valueAxis() == pPps && pGraph->lineStyle() == QCPGraph::lsNone && !pGraph->data()->isEmpty())
            pMarks = pGraph;
    }
    ASSERT_NE(pMarks, nullptr);
    ASSERT_EQ(pMarks->data()->size(), 1);
    EXPECT_NEAR(pMarks->data()->at(0)->key, (kT0 + std::int64_t{kRawSpikeS} * 1000) / 1000.0, 0.001);
    EXPECT_TRUE(pPps->range().contains(pMarks->data()->at(0)->value));
    EXPECT_GT(pMarks->data()->at(0)->value, pPps->range().center());
    // Over the whole record the roll-up holding the other spike is marked too.
    window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
    EXPECT_EQ(window.ClippedMarks(), 2);
    EXPECT_LE(pPps->range().upper, 4.0);
    // Off again: the spikes are back on the scale, nothing marked.
    window.PercentileScale()->setChecked(false);
    EXPECT_GT(pPps->range().upper, 5000.0);
    EXPECT_EQ(window.ClippedMarks(), 0);
    RemoveTestDirectory(dir);
}

TEST(HistoryWindowTest, WindowsOpenInsideTheAvailableScreenArea)
{
    App();
    const std::string dir = TempDir("screen");
    const std::string path = dir + "/history.sqlite3";
    CRecordingHost host;
    CMemoryDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program(host, device, profile);
    CMainFrame frame(program, host, profile);
    frame.SetHistory(nullptr, path);
    frame.show();
    Pump(50);
    const QRect available = frame.screen()->availableGeometry();
    ASSERT_FALSE(available.isEmpty());
    // The History window asks for more than the test screen has.
    frame.OpenHistory();
    ASSERT_NE(frame.HistoryWindow(), nullptr);
    Pump(50);
    EXPECT_TRUE(available.contains(frame.HistoryWindow()->frameGeometry()))
        << frame.HistoryWindow()->frameGeometry().width() << "x" << frame.HistoryWindow()->frameGeometry().height();
    frame.ShowLinkHealth();
    Pump(50);
    EXPECT_TRUE(available.contains(frame.LinkHealthWindow()->frameGeometry()));
    frame.Action(ID_VIEW_EVENTS)->trigger();
    Pump(50);
    EXPECT_TRUE(frame.EventsWindow()->isVisible());
    EXPECT_TRUE(available.contains(frame.EventsWindow()->frameGeometry()));
    // Moved by the operator and opened again: left where it was put.
    frame.EventsWindow()->hide();
    frame.EventsWindow()->move(available.topLeft() + QPoint(3, 5));
    frame.Action(ID_VIEW_EVENTS)->trigger();
    Pump(50);
    EXPECT_EQ(frame.EventsWindow()->pos(), available.topLeft() + QPoint(3, 5));
    frame.close();
    RemoveTestDirectory(dir);
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
    RemoveTestDirectory(dir);
}

}  // namespace
}  // namespace velmor::test
