// The desktop program's reference counter: Com Setup > Reference Counter...
// and its settings section, the counter recorded beside a simulated unit
// into the desktop's history and joined to its rows, the Link Health
// window's counter rows, and the Deviation tab's self-report, counter and
// both overlaid.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <qcustomplot.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "CounterDialog.h"
#include "CounterFeed.h"
#include "DeviationPanel.h"
#include "GuiTestSupport.h"
#include "HistoryFeed.h"
#include "HistoryWindow.h"
#include "LinkHealthWindow.h"
#include "MainFrame.h"
#include "app/Menu.h"
#include "app/Program.h"
#include "counter/CounterHistory.h"
#include "history/HistoryQuery.h"
#include "history/HistoryStore.h"
#include "history/HistoryTime.h"
#include "history/Sqlite.h"
#include "platform/DeviceByPath.h"
#include "settings/Profile.h"

namespace velmor::test {
namespace {

std::filesystem::path FreshDirectory(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// ---- the menu item, the dialog and the settings ------------------------------

class CounterSetupTest : public ::testing::Test, protected CWithApp {
protected:
    static constexpr const char* kOtherSections =
        "[Serial Port Commmunications]\nBaud=9600\n[Port Devices]\n1=/dev/ttyUSB7\n[History]\nSettle Seconds=90\n";
    CRecordingHost m_host;
    CMemoryDevice m_device;
    CProfile m_profile = CProfile::InMemory(kOtherSections);
    CProgram m_program{m_host, m_device, m_profile};

    // Triggers the menu item and lets |fill| act on the modal dialog.
    void RunDialog(CMainFrame& frame, const std::function<void(CCounterDialog&)>& fill)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ASSERT_NE(frame.CounterDialog(), nullptr);
            ran = true;
            fill(*frame.CounterDialog());
        });
        frame.Action(ID_COM_REFERENCE_COUNTER)->trigger();
        EXPECT_TRUE(ran);
        EXPECT_EQ(frame.CounterDialog(), nullptr);
    }
};

TEST_F(CounterSetupTest, ItemFollowsTheComSetupEntriesWithANewCommandId)
{
    CMainFrame frame(m_program, m_host, m_profile);
    QMenu* pComSetup = nullptr;
    for (QAction* pAction : frame.menuBar()->actions())
        if (pAction->text() == "&Com Setup") pComSetup = pAction->menu();
    ASSERT_NE(pComSetup, nullptr);
    const QList<QAction*> items = pComSetup->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], frame.Action(ID_COM_SETUP));
    EXPECT_EQ(items[1], frame.Action(ID_COM_REFERENCE_COUNTER));
    EXPECT_EQ(items[1]->text(), "&Reference Counter...");
    // After every id in use below the framework's own range.
    for (const CMenuItem& item : MenuItems()) {
        if (item.m_nCommand != ID_COM_REFERENCE_COUNTER && item.m_nCommand < 57000) {
            EXPECT_LT(item.m_nCommand, ID_COM_REFERENCE_COUNTER) << item.m_pszItem;
        }
    }
    frame.UpdateMenu(pComSetup);
    EXPECT_TRUE(items[1]->isEnabled());
}

TEST_F(CounterSetupTest, DialogStoresAndReloadsItsSectionAndLeavesTheOtherKeysAlone)
{
    CMainFrame frame(m_program, m_host, m_profile);
    const std::string before = m_profile.Text();
    RunDialog(frame, [](CCounterDialog& dialog) {
        dialog.findChild<QCheckBox*>("counterOn")->setChecked(true);
        dialog.findChild<QLineEdit*>("counterDevice")->setText("  tcp://lab-ticc:5000 ");
        dialog.findChild<QComboBox*>("counterFormat")->setCurrentIndex(1);  // timestamps
        dialog.findChild<QCheckBox*>("channelB")->setChecked(false);
        dialog.accept();
    });
    const CCounterSettings stored = LoadCounterSettings(m_profile);
    EXPECT_TRUE(stored.m_bEnabled);
    EXPECT_EQ(stored.m_strDevice, "tcp://lab-ticc:5000");
    EXPECT_EQ(stored.m_format, CounterFormat::Timestamp);
    EXPECT_TRUE(stored.m_bChannelA);
    EXPECT_FALSE(stored.m_bChannelB);
    EXPECT_TRUE(stored.m_bChannelAB);
    // Every other section reads as before.
    for (const auto& [section, key, value] : {std::tuple{"Serial Port Commmunications", "Baud", "9600"},
                                              std::tuple{"Port Devices", "1", "/dev/ttyUSB7"},
                                              std::tuple{"History", "Settle Seconds", "90"}})
        EXPECT_EQ(m_profile.GetString(section, key, "?"), value) << section;
    EXPECT_EQ(m_profile.Text().rfind(before, 0), 0u) << m_profile.Text();  // only added to

    // The dialog opens on what was stored: a new settings file reads it back.
    CProfile reread = CProfile::InMemory(m_profile.Text());
    EXPECT_EQ(LoadCounterSettings(reread), stored);
    RunDialog(frame, [&](CCounterDialog& dialog) {
        EXPECT_EQ(dialog.Settings(), stored);
        EXPECT_EQ(dialog.findChild<QLineEdit*>("counterDevice")->text(), "tcp://lab-ticc:5000");
        // A counter that is on needs a device and a series: OK is refused
        // with the reason, and the dialog stays.
        dialog.findChild<QLineEdit*>("counterDevice")->clear();
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.Problem().contains("device")) << dialog.Problem().toStdString();
        dialog.findChild<QLineEdit*>("counterDevice")->setText("/dev/ttyACM0");
        for (const char* name : {"channelA", "channelB", "channelAB"}) dialog.findChild<QCheckBox*>(name)->setChecked(false);
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.Problem().contains("series")) << dialog.Problem().toStdString();
        dialog.reject();
    });
    EXPECT_EQ(LoadCounterSettings(m_profile), stored);  // Cancel kept them
}

TEST(CounterSettingsText, ChannelListsAndDamagedValues)
{
    CCounterSettings settings;
    EXPECT_TRUE(settings.SetChannels(" A-B , A"));
    EXPECT_EQ(settings.ChannelsText(), "A,A-B");
    EXPECT_TRUE(settings.Records("A-B"));
    EXPECT_FALSE(settings.Records("B"));
    EXPECT_FALSE(settings.Records("C"));
    EXPECT_FALSE(settings.SetChannels("A,X"));
    EXPECT_EQ(settings.ChannelsText(), "A,A-B");  // unchanged by a bad list
    // A damaged section: an unknown format stays automatic, an unreadable
    // list records every series, and off needs nothing.
    CProfile profile = CProfile::InMemory("[Reference Counter]\nEnabled=1\nFormat=morse\nChannels=A;B\nDevice=\n");
    const CCounterSettings loaded = LoadCounterSettings(profile);
    EXPECT_TRUE(loaded.m_bEnabled);
    EXPECT_EQ(loaded.m_format, CounterFormat::Auto);
    EXPECT_EQ(loaded.ChannelsText(), "A,B,A-B");
    EXPECT_FALSE(CheckCounterSettings(loaded).empty());
    CCounterSettings off = loaded;
    off.m_bEnabled = false;
    EXPECT_TRUE(CheckCounterSettings(off).empty());
}

// ---- recording beside a simulated unit ---------------------------------------

// velmor-unitsim with a unit and a counter on two links; stopped at the end.
class CSimulator {
public:
    bool Start(const QStringList& args, const std::vector<std::string>& links)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(VELMOR_UNITSIM_PATH), args);
        if (!m_process.waitForStarted(10000)) return false;
        return PumpUntil([&] {
            for (const std::string& link : links)
                if (!std::filesystem::exists(link)) return false;
            return true;
        });
    }
    ~CSimulator()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

class CounterRecordingTest : public ::testing::Test, protected CWithApp {
protected:
    void SetUp() override { m_dir = FreshDirectory("velmor-counterdesk"); }
    void TearDown() override { RemoveTestDirectory(m_dir); }
    std::filesystem::path m_dir;
};

TEST_F(CounterRecordingTest, DesktopRecordsCounterRowsJoinedToTheUnitsRowsAndTheLinkPaneCountsThem)
{
    const std::string unitLink = (m_dir / "unit").string();
    const std::string counterLink = (m_dir / "ticc").string();
    const std::string db = (m_dir / "history.sqlite3").string();
    CSimulator sim;
    ASSERT_TRUE(sim.Start({"--link", QString::fromStdString(unitLink), "--counter", QString::fromStdString(counterLink),
                           "--state", "1", "--warmup", "0", "--quiet"},
                          {unitLink, counterLink}));

    CRecordingHost host;
    CDeviceByPath device;
    CProfile profile = CProfile::InMemory("[Serial Port Commmunications]\nBaud=19200\n[Port Devices]\n1=" + unitLink +
                                          "\n[Reference Counter]\nEnabled=1\nDevice=" + counterLink + "\n");
    CProgram program(host, device, profile);
    program.LoadSettingsAtStartup();
    {
        CHistoryFeed history(program, db);
        CCounterFeed counter(program, &history);
        CMainFrame frame(program, host, profile);
        frame.SetHistory(&history, db);
        frame.SetCounter(&counter);
        program.OpenPortAtStartup();
        counter.Apply(LoadCounterSettings(profile));
        ASSERT_NE(counter.Session(), nullptr);

        // A few seconds of pairs, recorded once their join window has passed.
        ASSERT_TRUE(PumpUntil([&] { return counter.Samples() >= 8; }, 60000))
            << "samples " << counter.Samples() << ", recorded " << counter.Recorded();
        frame.ShowLinkHealth();
        CLinkHealthWindow& pane = *frame.LinkHealthWindow();
        pane.Refresh();
        EXPECT_TRUE(pane.Value("Reference counter:").startsWith("open, lines arriving")) << pane.Value("Reference counter:").toStdString();
        EXPECT_GE(pane.Value("Counter samples:").toULongLong(), 6u);
        EXPECT_EQ(pane.Value("Counter slips:"), "0");
        EXPECT_EQ(pane.Value("Counter parse errors:"), "0");
        EXPECT_TRUE(pane.Value("Counter last phase:").endsWith(" ns (A-B)")) << pane.Value("Counter last phase:").toStdString();
        frame.close();
    }  // the feeds write what they hold

    CSqliteDb sql;
    ASSERT_EQ(sql.Open(db, SQLITE_OPEN_READONLY), SQLITE_OK);
    CSqliteStatement rows;
    ASSERT_EQ(rows.Prepare(sql, "SELECT c.unit_device, c.counter_device, c.host_ms, c.unit_host_ms,"
                                " (SELECT COUNT(*) FROM readings r WHERE r.host_ms = c.unit_host_ms)"
                                " FROM counter_samples c WHERE c.channel = 'A-B' ORDER BY c.host_ms"),
              SQLITE_OK);
    int total = 0, joined = 0;
    while (rows.Step() == SQLITE_ROW) {
        ++total;
        EXPECT_EQ(rows.Text(0), unitLink);
        EXPECT_EQ(rows.Text(1), counterLink);
        if (rows.IsNull(3)) continue;
        ++joined;
        // Its unit row is in the same file, about when the sample came.
        EXPECT_EQ(rows.Int(4), 1) << "no unit row at " << rows.Int(3);
        EXPECT_LE(std::llabs(rows.Int(2) - rows.Int(3)), 1000) << rows.Int(2) << " vs " << rows.Int(3);
    }
    EXPECT_GE(total, 6);
    // The single channels are recorded too (every series is on by default).
    CSqliteStatement channels;
    ASSERT_EQ(channels.Prepare(sql, "SELECT COUNT(DISTINCT channel) FROM counter_samples"), SQLITE_OK);
    ASSERT_EQ(channels.Step(), SQLITE_ROW);
    EXPECT_EQ(channels.Int(0), 3);
    // The unit reports every second: all but the first and last few join.
    EXPECT_GE(joined, total - 2) << joined << " of " << total;
}

// ---- the Deviation tab's three choices ----------------------------------------

constexpr std::int64_t kT0 = 1796601600000;  // 2026-12-07T00:00:00Z
constexpr int kRunS = 3600;

// An hour of a unit reporting its offset to 1 ns over 3 ns of loop noise,
// and a counter that sees the same oscillator to 60 ps.
void RecordUnitAndCounter(const std::string& path)
{
    CHistoryOptions options;
    options.m_strPath = path;
    options.m_clock = [] { return kT0 + std::int64_t{kRunS} * 1000; };
    {
        CHistoryStore store(options);
        store.SetUnit("512-6200-03", "/dev/ttyS0", "V1", 16);
        CCounterStore counters(path, 30, [] { return kT0 + std::int64_t{kRunS} * 1000; });
        std::mt19937_64 random(22);
        std::normal_distribution<double> loop(0.0, 3.0), counterNoise(0.0, 60.0), frequency(0.0, 1.0);
        double truePs = 0;
        for (int i = 0; i < kRunS; ++i) {
            truePs += frequency(random);
            CHistoryRow row;
            row.m_llHostMs = kT0 + std::int64_t{i} * 1000;
            row.m_dPpsOffsetNs = std::round(truePs / 1000 + loop(random));
            row.m_nPpsCount = 1;
            row.m_adPpsSamples[0] = *row.m_dPpsOffsetNs;
            row.m_nDisciplineState = 1;
            store.Append(row);
            CCounterRow sample;
            sample.m_strUnit = "/dev/ttyS0";
            sample.m_strCounter = "/dev/ttyACM0";
            sample.m_llHostMs = row.m_llHostMs + 200;
            sample.m_strChannel = "A-B";
            sample.m_strText = std::to_string(i) + ".000000000000";
            sample.m_phasePs = static_cast<std::int64_t>(std::llround(truePs + counterNoise(random)));
            sample.m_bSegmentStart = i == 0;
            sample.m_llUnitRowMs = row.m_llHostMs;
            counters.Append(sample);
        }
        ASSERT_TRUE(store.Flush(60000));
        ASSERT_TRUE(counters.Flush(60000));
    }
}

class CounterDeviationTest : public ::testing::Test, protected CWithApp {
protected:
    void SetUp() override
    {
        m_dir = FreshDirectory("velmor-counterdev");
        m_path = (m_dir / "history.sqlite3").string();
        RecordUnitAndCounter(m_path);
    }
    void TearDown() override { RemoveTestDirectory(m_dir); }

    bool Choose(CHistoryWindow& window, int source)
    {
        window.Deviation()->SourceChoice()->setCurrentIndex(source);
        return PumpUntil([&] { return !window.IsDeviationBusy() && window.DeviationPoints() > 0; });
    }
    std::filesystem::path m_dir;
    std::string m_path;
};

// Each drawn point of |graph| and its bar are a row's value and bounds.
void ExpectBarsFromBounds(QCPGraph& graph, QCPErrorBars& bars, const CAnalysis& analysis, Statistic s)
{
    const auto& data = *graph.data();
    ASSERT_EQ(bars.data()->size(), static_cast<std::size_t>(data.size()));
    std::size_t matched = 0;
    for (const CAnalysisRow& row : analysis.m_rows) {
        const CEstimate& e = row[s];
        if (!std::isfinite(e.m_dValue) || !std::isfinite(e.m_dLow)) continue;
        auto it = data.findBegin(row.m_dTau * (1 - 1e-9), false);
        ASSERT_NE(it, data.constEnd());
        ASSERT_NEAR(it->key, row.m_dTau, row.m_dTau * 1e-9);
        EXPECT_DOUBLE_EQ(it->value, e.m_dValue);
        const auto& bar = bars.data()->at(static_cast<std::size_t>(it - data.constBegin()));
        EXPECT_NEAR(bar.errorMinus, e.m_dValue - e.m_dLow, e.m_dValue * 1e-12);
        EXPECT_NEAR(bar.errorPlus, e.m_dHigh - e.m_dValue, e.m_dValue * 1e-12);
        ++matched;
    }
    EXPECT_GE(matched, 5u);
}

// The counter's phase over a long span comes from its roll-ups: the plot is
// the same after the samples themselves have been pruned.
TEST_F(CounterDeviationTest, LongSpanPhasePlotOutlivesThePrunedSamples)
{
    auto plotted = [&] {
        CHistoryWindow window(m_path);
        window.resize(1100, 760);
        window.show();
        window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
        std::vector<std::pair<double, double>> points;
        EXPECT_TRUE(window.IsCounterShown());
        for (const QCPGraphData& d : *window.CounterGraph()->data()) points.emplace_back(d.key, d.value);
        return points;
    };
    const auto before = plotted();
    ASSERT_GE(before.size(), 50u);
    {
        // Forty days on, with the samples kept thirty: a write prunes them.
        CCounterStore counters(m_path, 30, [] { return kT0 + 40 * std::int64_t{86400000}; });
        CCounterRow row;
        row.m_strUnit = "/dev/other";
        row.m_strCounter = "/dev/ttyACM1";
        row.m_llHostMs = kT0 + 40 * std::int64_t{86400000};
        row.m_strChannel = "A-B";
        row.m_strText = "0";
        counters.Append(row);
        ASSERT_TRUE(counters.Flush(20000)) << counters.LastError();
    }
    CSqliteDb db;
    ASSERT_EQ(db.Open(m_path, SQLITE_OPEN_READONLY), SQLITE_OK);
    CSqliteStatement left;
    ASSERT_EQ(left.Prepare(db, "SELECT COUNT(*) FROM counter_samples WHERE unit_device = '/dev/ttyS0'"), SQLITE_OK);
    ASSERT_EQ(left.Step(), SQLITE_ROW);
    ASSERT_EQ(left.Int(0), 0);
    db.Close();
    const auto after = plotted();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_DOUBLE_EQ(after[i].first, before[i].first) << i;
        if (std::isnan(before[i].second)) EXPECT_TRUE(std::isnan(after[i].second)) << i;
        else EXPECT_NEAR(after[i].second, before[i].second, 1e-9) << i;
    }
}

TEST_F(CounterDeviationTest, SelfReportCounterAndBothDrawTheirSeriesWithTheirBounds)
{
    CHistoryWindow window(m_path);
    window.resize(1100, 760);
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("spanAll"))->click();
    // The counter's phase plot sits under the unit's, on the same time axis.
    ASSERT_TRUE(window.IsCounterShown());
    // An hour in roll-ups of the same width as the unit's.
    EXPECT_GE(window.CounterGraph()->data()->size(), 50);
    EXPECT_EQ(window.CounterRect()->axis(QCPAxis::atBottom)->range(),
              window.Plot()->axisRect(0)->axis(QCPAxis::atBottom)->range());
    EXPECT_EQ(window.Plot()->plotLayout()->rowCount(), kHistoryPlotCount + 1);
    window.Tabs()->setCurrentIndex(1);
    CDeviationPanel& panel = *window.Deviation();
    ASSERT_TRUE(Choose(window, 0));
    EXPECT_TRUE(panel.Graph(Statistic::Adev)->visible());
    EXPECT_FALSE(panel.CounterGraph(Statistic::Adev)->visible());
    EXPECT_EQ(panel.Graph(Statistic::Adev)->name(), "ADEV");
    const double selfAdev1 = panel.Graph(Statistic::Adev)->data()->constBegin()->value;

    // The counter alone: its figures, copied as the command prints them.
    ASSERT_TRUE(Choose(window, 1));
    EXPECT_FALSE(panel.Graph(Statistic::Adev)->visible());
    ASSERT_TRUE(panel.CounterGraph(Statistic::Adev)->visible());
    for (Statistic s : {Statistic::Adev, Statistic::Mdev, Statistic::Tdev})
        ExpectBarsFromBounds(*panel.CounterGraph(s), *panel.CounterBars(s), panel.CounterAnalysis(), s);
    EXPECT_TRUE(panel.Summary().contains("reference: 1 segment, 3")) << panel.Summary().toStdString();
    CHistoryQuery query;
    std::string error;
    ASSERT_TRUE(query.Open(m_path, error)) << error;
    const auto iso = [](std::int64_t ms) { return QString::fromStdString(FormatIsoUtcMs(ms)); };
    QProcess tool;
    tool.start(QStringLiteral(VELMOR_HISTORY_PATH),
               {"stats", "--db", QString::fromStdString(m_path), "--unit", QString::number(query.ListUnits()[0].m_llId),
                "--from", iso(window.VisibleFromMs()), "--to", iso(window.VisibleToMs()), "--counter", "--channel",
                "A-B", "--stats", "adev,mdev,tdev,hdev", "--ci", "--remove-drift", "none"});
    ASSERT_TRUE(tool.waitForFinished(120000));
    const QString printed = QString::fromUtf8(tool.readAllStandardOutput());
    ASSERT_FALSE(printed.isEmpty()) << tool.readAllStandardError().toStdString();
    QApplication::clipboard()->clear();
    window.findChild<QPushButton*>("copyTable")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), printed);
    EXPECT_TRUE(panel.CommandLine().contains("--counter --channel A-B")) << panel.CommandLine().toStdString();
    const double counterAdev1 = panel.CounterGraph(Statistic::Adev)->data()->constBegin()->value;
    // The counter sees the oscillator; the self-report its own quantised loop.
    EXPECT_LT(counterAdev1 * 10, selfAdev1) << counterAdev1 << " vs " << selfAdev1;

    // Both, overlaid: each named, each with its own bars, both tables copied.
    ASSERT_TRUE(Choose(window, 2));
    EXPECT_TRUE(panel.Graph(Statistic::Adev)->visible());
    EXPECT_TRUE(panel.CounterGraph(Statistic::Adev)->visible());
    EXPECT_EQ(panel.Graph(Statistic::Adev)->name(), "ADEV (self-report)");
    EXPECT_EQ(panel.CounterGraph(Statistic::Adev)->name(), "ADEV (reference)");
    ExpectBarsFromBounds(*panel.Graph(Statistic::Adev), *panel.Bars(Statistic::Adev), panel.Analysis(), Statistic::Adev);
    ExpectBarsFromBounds(*panel.CounterGraph(Statistic::Adev), *panel.CounterBars(Statistic::Adev),
                         panel.CounterAnalysis(), Statistic::Adev);
    const QString both = panel.Table();
    EXPECT_TRUE(both.startsWith("# self-report\n"));
    EXPECT_TRUE(both.endsWith("# reference counter\n" + printed)) << both.toStdString();
}

}  // namespace
}  // namespace velmor::test
