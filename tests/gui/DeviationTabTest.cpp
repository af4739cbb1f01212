// The History window's Deviation tab over six recorded hours of white phase
// noise: what it draws and copies is what velmor-history stats prints.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QThreadPool>
#include <qcustomplot.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <atomic>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "DeviationPanel.h"
#include "GuiTestSupport.h"
#include "HistoryWindow.h"
#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/HistoryTime.h"
#include "settings/Profile.h"

namespace velmor::test {
namespace {

constexpr std::int64_t kT0 = 1796601600000;  // 2026-12-07T00:00:00Z
constexpr int kRunS = 6 * 3600;
// A link loss (no rows, the next row marked) and a coasting stretch.
constexpr int kGapFromS = 10000;
constexpr int kGapToS = 10060;
constexpr int kCoastFromS = 15000;
constexpr int kCoastToS = 15600;

// 3 ns of white phase noise on a 2e-11 frequency offset.
void RecordRun(const std::string& path)
{
    CHistoryOptions options;
    options.m_strPath = path;
    options.m_clock = [] { return kT0 + std::int64_t{kRunS} * 1000; };
    CHistoryStore store(options);
    store.SetUnit("512-6200-03", "/dev/ttyS0", "V1", 16);
    std::mt19937_64 random(21);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int i = 0; i < kRunS; ++i) {
        const double ns = noise(random) + 0.02 * i;
        if (i >= kGapFromS && i < kGapToS) continue;
        CHistoryRow row;
        row.m_llHostMs = kT0 + std::int64_t{i} * 1000;
        row.m_dPpsOffsetNs = ns;
        row.m_nPpsCount = 1;
        row.m_adPpsSamples[0] = ns;
        row.m_nDisciplineState = i >= kCoastFromS && i < kCoastToS ? 2 : 1;
        if (i == kGapToS) row.m_marker = HistoryMarker::LinkLost;
        store.Append(row);
        if (i % 4000 == 3999) {
            ASSERT_TRUE(store.Flush(60000));
        }
    }
    ASSERT_TRUE(store.Flush(60000));
}

class DeviationTabTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        App();
        m_dir = std::filesystem::temp_directory_path() / ("velmor-devtab-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / "history.sqlite3").string();
        RecordRun(m_path);
    }
    void TearDown() override { RemoveTestDirectory(m_dir); }

    // The window on the whole record, its Deviation tab computed.
    void OpenOnAll(CHistoryWindow& window)
    {
        window.resize(1100, 760);
        window.show();
        window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
        window.Tabs()->setCurrentIndex(1);
        ASSERT_TRUE(WaitForDeviation(window));
    }
    static bool WaitForDeviation(CHistoryWindow& window)
    {
        return PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationPoints() > 0; });
    }
    static bool WaitIdle(CHistoryWindow& window)
    {
        return PumpUntil([&] { return !window.IsDeviationBusy(); });
    }

    std::filesystem::path m_dir;
    std::string m_path;
};

// Runs velmor-history with |args|; its standard output, or "" on failure.
std::string RunHistoryTool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(VELMOR_HISTORY_PATH), args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << "velmor-history " << args.join(' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput().toStdString();
}

// The table's rows as column name -> value ("nan" as NaN), comments skipped.
std::vector<std::map<std::string, double>> ParseTable(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> header;
    std::vector<std::map<std::string, double>> rows;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::vector<std::string> cells;
        for (std::string w; words >> w;) cells.push_back(w);
        if (header.empty()) {
            header = cells;
            continue;
        }
        std::map<std::string, double> row;
        for (std::size_t k = 0; k < cells.size() && k < header.size(); ++k)
            row[header[k]] = cells[k] == "nan" ? std::nan("") : std::stod(cells[k]);
        rows.push_back(row);
    }
    return rows;
}

QString Iso(std::int64_t ms) { return QString::fromStdString(FormatIsoUtcMs(ms)); }

TEST_F(DeviationTabTest, CopiedTableIsTheCommandsOutputAndTheBarsNoiseTypesAndDriftAreItsFigures)
{
    CHistoryWindow window(m_path);
    OpenOnAll(window);
    CDeviationPanel& panel = *window.Deviation();
    window.findChild<QComboBox*>(QStringLiteral("drift"))->setCurrentIndex(1);  // linear
    window.findChild<QCheckBox*>(QStringLiteral("totdev"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("mtie"))->setChecked(true);
    ASSERT_TRUE(WaitIdle(window));
    auto* pCopy = window.findChild<QPushButton*>(QStringLiteral("copyTable"));
    ASSERT_TRUE(pCopy->isEnabled());
    QApplication::clipboard()->clear();
    pCopy->click();
    const std::string copied = QApplication::clipboard()->text().toStdString();

    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const std::vector<CHistoryUnit> units = query.ListUnits();
    ASSERT_EQ(units.size(), 1u);
    const std::string cli = RunHistoryTool(
        {QStringLiteral("stats"), QStringLiteral("--db"), QString::fromStdString(m_path), QStringLiteral("--unit"),
         QString::number(units[0].m_llId), QStringLiteral("--from"), Iso(window.VisibleFromMs()),
         QStringLiteral("--to"), Iso(window.VisibleToMs()), QStringLiteral("--stats"),
         QStringLiteral("adev,mdev,tdev,hdev,totdev,mtie"), QStringLiteral("--ci"), QStringLiteral("--remove-drift"),
         QStringLiteral("linear")});
    ASSERT_FALSE(cli.empty());
    EXPECT_EQ(copied, cli);
    // The tooltip names the command with the same choices.
    EXPECT_TRUE(panel.CommandLine().contains(QStringLiteral("--stats adev,mdev,tdev,hdev,totdev,mtie --ci "
                                                            "--remove-drift linear")))
        << panel.CommandLine().toStdString();

    // The drift model shown is the table's own line.
    ASSERT_EQ(cli.rfind("# drift removed: linear, ", 0), 0u) << cli;
    EXPECT_EQ(panel.DriftText().toStdString(), cli.substr(2, cli.find('\n') - 2));

    // Each drawn point and its bar are the command's value and chi-squared
    // bounds (printed to 7 digits).
    const auto rows = ParseTable(cli);
    ASSERT_GE(rows.size(), 10u);
    for (const Statistic s : {Statistic::Adev, Statistic::Mdev, Statistic::Tdev, Statistic::Hdev, Statistic::Totdev}) {
        const std::string name = StatisticName(s);
        QCPGraph* pGraph = panel.Graph(s);
        const auto& data = *pGraph->data();
        const auto& bars = *panel.Bars(s)->data();
        ASSERT_EQ(bars.size(), data.size()) << name;
        std::size_t matched = 0;
        double lastMinus = 0;
        double lastPlus = 0;
        for (const auto& row : rows) {
            const double value = row.at(name);
            if (!std::isfinite(value)) continue;
            auto it = data.findBegin(row.at("tau") * (1 - 1e-9), false);
            ASSERT_NE(it, data.constEnd()) << name << " tau " << row.at("tau");
            ASSERT_NEAR(it->key, row.at("tau"), 1e-9 * row.at("tau"));
            const auto& bar = bars.at(static_cast<qsizetype>(it - data.constBegin()));
            const double tolerance = 2e-6 * value;
            EXPECT_NEAR(it->value, value, tolerance) << name << " tau " << row.at("tau");
            EXPECT_NEAR(bar.errorMinus, value - row.at(name + "_lo"), tolerance) << name << " tau " << row.at("tau");
            EXPECT_NEAR(bar.errorPlus, row.at(name + "_hi") - value, tolerance) << name << " tau " << row.at("tau");
            lastMinus = bar.errorMinus;
            lastPlus = bar.errorPlus;
            ++matched;
        }
        EXPECT_EQ(matched, static_cast<std::size_t>(data.size())) << name;
        // Chi-squared bounds reach further up than down; a symmetric
        // 1/sqrt(n) bar would not.
        EXPECT_GT(lastPlus, lastMinus * 1.05) << name;
    }

    // The noise type above each tau is the table's alpha, with its name:
    // white PM at the short taus of this record.
    QStringList expected;
    for (const auto& row : rows) {
        const double alpha = row.at("alpha");
        if (!std::isfinite(alpha)) continue;
        const int a = static_cast<int>(alpha);
        expected << QStringLiteral("%1%2 %3").arg(a > 0 ? "+" : "").arg(a).arg(NoiseTypeShortName(a));
    }
    EXPECT_EQ(panel.NoiseLabels(), expected);
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(expected.front(), QStringLiteral("+2 WPM"));
    EXPECT_STREQ(NoiseTypeName(-2), "random-walk FM");
}

TEST_F(DeviationTabTest, TogglesAddAndRemoveSeriesAndTimesHaveTheSecondAxis)
{
    CHistoryWindow window(m_path);
    OpenOnAll(window);
    CDeviationPanel& panel = *window.Deviation();
    QCustomPlot& plot = *panel.Plot();
    const auto shown = [&](Statistic s) {
        QCPGraph* pGraph = panel.Graph(s);
        return pGraph->visible() && !pGraph->data()->isEmpty() && plot.legend->hasItemWithPlottable(pGraph);
    };
    // Only asked-for statistics are drawn, and the copied table has their
    // columns only.
    for (const Statistic s : {Statistic::Adev, Statistic::Mdev, Statistic::Tdev, Statistic::Hdev})
        EXPECT_TRUE(shown(s)) << StatisticName(s);
    EXPECT_FALSE(shown(Statistic::Totdev));
    EXPECT_FALSE(shown(Statistic::Mtie));
    EXPECT_TRUE(panel.Table().startsWith(QStringLiteral("tau n alpha adev adev_lo adev_hi mdev")));
    EXPECT_EQ(panel.DriftText(), QStringLiteral("drift: none removed"));

    // TDEV is in seconds on the right axis, its bars inside that axis; the
    // fractional deviations stay on the left.
    ASSERT_TRUE(plot.yAxis2->visible());
    EXPECT_EQ(plot.yAxis2->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(panel.Graph(Statistic::Tdev)->valueAxis(), plot.yAxis2);
    for (const Statistic s : {Statistic::Adev, Statistic::Mdev, Statistic::Hdev, Statistic::Totdev})
        EXPECT_EQ(panel.Graph(s)->valueAxis(), plot.yAxis) << StatisticName(s);
    const auto& tdev = *panel.Graph(Statistic::Tdev)->data();
    const auto& tdevBars = *panel.Bars(Statistic::Tdev)->data();
    for (qsizetype i = 0; i < tdev.size(); ++i) {
        const auto& point = *(tdev.constBegin() + i);
        EXPECT_TRUE(plot.yAxis2->range().contains(point.value - tdevBars.at(i).errorMinus));
        EXPECT_TRUE(plot.yAxis2->range().contains(point.value + tdevBars.at(i).errorPlus));
    }

    // MTIE on request: on the seconds axis, no bars, never falling with tau.
    window.findChild<QCheckBox*>(QStringLiteral("mtie"))->setChecked(true);
    ASSERT_TRUE(WaitIdle(window));
    EXPECT_TRUE(shown(Statistic::Mtie));
    EXPECT_EQ(panel.Graph(Statistic::Mtie)->valueAxis(), plot.yAxis2);
    EXPECT_EQ(panel.Bars(Statistic::Mtie), nullptr);
    double previous = 0;
    for (const auto& point : *panel.Graph(Statistic::Mtie)->data()) {
        EXPECT_GE(point.value, previous);
        previous = point.value;
    }
    EXPECT_TRUE(panel.Table().contains(QStringLiteral(" mtie\n")));
    window.findChild<QCheckBox*>(QStringLiteral("totdev"))->setChecked(true);
    ASSERT_TRUE(WaitIdle(window));
    EXPECT_TRUE(shown(Statistic::Totdev));
    EXPECT_TRUE(shown(Statistic::Mtie));
    window.findChild<QCheckBox*>(QStringLiteral("mtie"))->setChecked(false);
    window.findChild<QCheckBox*>(QStringLiteral("totdev"))->setChecked(false);
    ASSERT_TRUE(WaitIdle(window));
    EXPECT_FALSE(shown(Statistic::Totdev));
    EXPECT_FALSE(shown(Statistic::Mtie));
    EXPECT_FALSE(panel.Table().contains(QStringLiteral("mtie")));
    EXPECT_TRUE(shown(Statistic::Adev));

    // A range with no locked sample clears the last figures: nothing drawn,
    // nothing to copy.
    window.ShowRange(kT0 + std::int64_t{kCoastFromS + 10} * 1000, kT0 + std::int64_t{kCoastToS - 10} * 1000);
    ASSERT_TRUE(PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationPoints() == 0; }));
    EXPECT_EQ(window.DeviationSummary(), QStringLiteral("no 1PPS phase in the range shown"));
    EXPECT_FALSE(window.findChild<QPushButton*>(QStringLiteral("copyTable"))->isEnabled());
    EXPECT_TRUE(panel.NoiseLabels().isEmpty());
    EXPECT_TRUE(panel.Graph(Statistic::Adev)->data()->isEmpty());
}

// Qt paints large areas with the help of its global thread pool and waits
// for it; a long read on that pool would freeze the window. With every
// thread of that pool taken, the reads must still be done, and before the
// pool is given back (at the latest after 30 s, so nothing hangs).
TEST_F(DeviationTabTest, ReadsDoNotWaitForQtsGlobalThreadPool)
{
    QThreadPool& global = *QThreadPool::globalInstance();
    const int threads = global.maxThreadCount();
    std::atomic<int> held{0};
    std::atomic<bool> release{false};
    for (int i = 0; i < threads; ++i) {
        global.start([&] {
            ++held;
            for (int k = 0; k < 3000 && !release; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
    }
    ASSERT_TRUE(PumpUntil([&] { return held == threads; }));
    bool done = false;
    {
        CHistoryWindow window(m_path);  // not shown: nothing to paint
        window.ShowSpan(0);
        window.Tabs()->setCurrentIndex(1);
        done = PumpUntil([&] {
            return !window.IsDeviationBusy() && window.DeviationPoints() > 0 && !window.IsPeriodsBusy() &&
                   window.ShadedPeriods() > 0;
        });
        done = done && !release;
    }
    release = true;
    global.waitForDone();
    EXPECT_TRUE(done);
}

TEST_F(DeviationTabTest, SettleTimeIsKeptInTheSettings)
{
    CProfile profile = CProfile::InMemory();
    {
        CHistoryWindow window(m_path, nullptr, &profile);
        auto* pSettle = window.findChild<QSpinBox*>(QStringLiteral("settle"));
        ASSERT_NE(pSettle, nullptr);
        EXPECT_EQ(pSettle->value(), 60);
        pSettle->setValue(180);
        EXPECT_EQ(profile.GetInt(kHistorySection, kSettleKey, -1), 180);
        // It filters locked periods: with every state counted it has no say.
        window.findChild<QCheckBox*>(QStringLiteral("lockedOnly"))->setChecked(false);
        EXPECT_FALSE(pSettle->isEnabled());
    }
    CHistoryWindow again(m_path, nullptr, &profile);
    EXPECT_EQ(again.Deviation()->SettleSeconds(), 180);
    // A value no one could have set falls back to the default.
    CProfile bad = CProfile::InMemory("[History]\nSettle Seconds=-5\n");
    CHistoryWindow third(m_path, nullptr, &bad);
    EXPECT_EQ(third.Deviation()->SettleSeconds(), 60);
}

}  // namespace
}  // namespace velmor::test
