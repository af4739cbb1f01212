// What reaches the desktop for an event: a notification over a private
// session bus (a dbus-daemon of the test's own, with a stand-in
// notification server) carrying the event's title, the plain sentence with
// the unit's part number, and the urgency hint as the byte the protocol
// wants. And the History window's shading: one colour per kind of period,
// each named in the legend under the plots.

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <qcustomplot.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "GuiTestSupport.h"
#include "HistoryWindow.h"
#include "MainFrame.h"
#include "ShadingLegend.h"
#include "TrevikView.h"
#include "app/Program.h"
#include "history/HistoryStore.h"

namespace velmor::test {
namespace {

template <typename Done>
bool WaitFor(Done done, int ms = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        Pump(20);
    }
    return true;
}

// Answers Notify as a notification server would and keeps each call.
class CNotificationServer : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("Notify")) return false;
        m_calls.push_back(message);
        connection.send(message.createReply(QVariant::fromValue(static_cast<uint>(m_calls.size()))));
        return true;
    }
    std::vector<QDBusMessage> m_calls;
};

// The host's clock under the test's hand, so that the hold-off passes at once.
class CClockHost : public CRecordingHost {
public:
    std::uint64_t TickCount() override { return m_qwNow; }
    std::uint64_t m_qwNow = 1000;
};

class NotificationsTest : public ::testing::Test, protected CWithApp {
protected:
    void SetUp() override
    {
        m_bus.setProgram(QStringLiteral("dbus-daemon"));
        m_bus.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        m_bus.start();
        if (!m_bus.waitForStarted(10000)) GTEST_SKIP() << "no dbus-daemon (scripts/install-deps.sh installs it)";
        QByteArray address;
        QElapsedTimer clock;
        clock.start();
        while (!address.contains('\n') && clock.elapsed() < 10000) {
            m_bus.waitForReadyRead(200);
            address += m_bus.readAllStandardOutput();
        }
        ASSERT_TRUE(address.contains('\n')) << "the bus did not say where it listens";
        const QString where = QString::fromUtf8(address.left(address.indexOf('\n')));
        QDBusConnection server = QDBusConnection::connectToBus(where, kServer);
        ASSERT_TRUE(server.isConnected()) << server.lastError().message().toStdString();
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &m_server));
        ASSERT_TRUE(QDBusConnection::connectToBus(where, kClient).isConnected());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(kClient);
        QDBusConnection::disconnectFromBus(kServer);
        if (m_bus.state() != QProcess::NotRunning) {
            m_bus.terminate();
            if (!m_bus.waitForFinished(5000)) m_bus.kill();
        }
    }

    static inline const QString kServer = QStringLiteral("velmor-test-server");
    static inline const QString kClient = QStringLiteral("velmor-test-client");
    QProcess m_bus;
    CNotificationServer m_server;
};

// Seconds since midnight UTC of "HH:MM:SS UTC" at the end of |text|; -1 when none.
int UtcSecondsIn(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("since (\\d\\d):(\\d\\d):(\\d\\d) UTC$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return -1;
    return match.captured(1).toInt() * 3600 + match.captured(2).toInt() * 60 + match.captured(3).toInt();
}

TEST_F(NotificationsTest, EventsReachTheDesktopWithTheirSentenceAndUrgency)
{
    CClockHost host;
    CMemoryDevice device;
    CProfile profile = CProfile::InMemory("[Alarms]\nNotify=lock,holdover,tfom\n");
    CProgram program{host, device, profile};
    const std::string logDir = (std::filesystem::temp_directory_path() /
                                ("velmor-gui-notify-" + std::to_string(::getpid()))).string();
    {
        CMainFrame frame(program, host, profile);
        frame.SetEventLogDirectory(logDir);
        frame.Notifier().UseConnection(kClient);
        device.m_bOpenWorks = true;
        program.LoadSettingsAtStartup();
        program.OpenPortAtStartup();

        program.Session().DispatchSentence("PRID,16,512-6200-10");
        program.Session().DispatchSentence("TIME,2026,341,10,00,00,2,3,1");
        // Coasting with a TFOM above the limit from tick 2000; told at 7000.
        host.m_qwNow = 2000;
        program.Session().DispatchSentence("TIME,2026,341,10,00,02,2,7,2");
        host.m_qwNow = 7000;
        const QDateTime toldAt = QDateTime::currentDateTimeUtc();
        emit frame.View()->PollTicked();
        ASSERT_TRUE(WaitFor([&] { return m_server.m_calls.size() >= 3; })) << m_server.m_calls.size();
        EXPECT_EQ(frame.Notifier().Sent(), 3);

        struct CExpected {
            const char* m_pszSummary;
            const char* m_pszBodyStart;
            uchar m_urgency;
        };
        const CExpected expected[] = {
            {"GPS lock lost", "GPS lock lost: unit 512-6200-10 is in holdover since ", 2},
            {"Holdover started", "Holdover started: unit 512-6200-10 is in holdover since ", 2},
            {"TFOM high", "TFOM high: unit 512-6200-10 reports a TFOM above the limit since ", 1},
        };
        // The condition began 5 s (of the host's clock) before it was told.
        const int began = static_cast<int>((toldAt.time().msecsSinceStartOfDay() / 1000 - 5 + 86400) % 86400);
        for (std::size_t i = 0; i < std::size(expected); ++i) {
            const QList<QVariant> args = m_server.m_calls[i].arguments();
            ASSERT_EQ(args.size(), 8);
            EXPECT_EQ(args[0].toString(), QStringLiteral("Velmor"));
            EXPECT_EQ(args[3].toString(), QString::fromLatin1(expected[i].m_pszSummary));
            const QString body = args[4].toString();
            EXPECT_TRUE(body.startsWith(QString::fromLatin1(expected[i].m_pszBodyStart))) << body.toStdString();
            const QString time = body.mid(body.indexOf(QStringLiteral(" since ")));
            const int seconds = UtcSecondsIn(i == 2 ? time.left(time.indexOf(QStringLiteral(" ("))) : body);
            ASSERT_GE(seconds, 0) << body.toStdString();
            const int off = std::abs(seconds - began);
            EXPECT_LE(std::min(off, 86400 - off), 2) << body.toStdString();
            const QVariantMap hints = qdbus_cast<QVariantMap>(args[6].value<QDBusArgument>());
            ASSERT_TRUE(hints.contains(QStringLiteral("urgency"))) << body.toStdString();
            const QVariant urgency = hints.value(QStringLiteral("urgency"));
            EXPECT_EQ(urgency.metaType().id(), QMetaType::UChar) << "a byte on the wire";
            EXPECT_EQ(urgency.value<uchar>(), expected[i].m_urgency) << body.toStdString();
        }
        EXPECT_TRUE(m_server.m_calls[2].arguments()[4].toString().endsWith(QStringLiteral("(tfom=7 limit=5)")));
    }
    RemoveTestDirectory(logDir);
}

// One kind of each period, recorded, shaded in the window in its own colour.
TEST(ShadingTest, EachPeriodKindHasItsOwnColourAndLegendEntry)
{
    App();
    std::set<QRgb> colours;
    std::set<QString> texts;
    for (int i = 0; i < kHistoryPeriodKindCount; ++i) {
        const auto kind = static_cast<HistoryPeriodKind>(i);
        EXPECT_GT(ShadingColor(kind).alpha(), 0);
        EXPECT_LT(ShadingColor(kind).alpha(), 255) << "the plot shows through";
        colours.insert(ShadingColor(kind).rgba());
        texts.insert(ShadingText(kind));
    }
    EXPECT_EQ(colours.size(), static_cast<std::size_t>(kHistoryPeriodKindCount));
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(kHistoryPeriodKindCount));

    const auto dir = std::filesystem::temp_directory_path() / ("velmor-guitest-shading-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "history.sqlite3").string();
    constexpr std::int64_t kT0 = 1796601600000;  // 2026-12-07T00:00:00Z
    {
        CHistoryOptions options;
        options.m_strPath = path;
        options.m_clock = [] { return kT0 + 3600000; };
        CHistoryStore store(options);
        store.SetUnit("512-6200-04", "/dev/ttyS0", "V1", 16);
        // Coasting 100-200 s, warming up 300-400 s, and a 20 s gap before
        // each marked row at 500, 600, 700 and 800 s.
        for (int s = 0; s < 900; ++s) {
            if (s % 100 >= 80 && s >= 480) continue;
            CHistoryRow row;
            row.m_llHostMs = kT0 + std::int64_t{s} * 1000;
            row.m_dPpsOffsetNs = s % 7;
            row.m_nDisciplineState = s >= 100 && s < 200 ? 2 : s >= 300 && s < 400 ? 0 : 1;
            if (s == 500) row.m_marker = HistoryMarker::LinkLost;
            if (s == 600) row.m_marker = HistoryMarker::UnitRestarted;
            if (s == 700) row.m_marker = HistoryMarker::PollingPaused;
            if (s == 800) row.m_marker = HistoryMarker::RecorderRestart;
            store.Append(row);
        }
        ASSERT_TRUE(store.Flush(60000));
    }

    CHistoryWindow window(path);
    window.resize(1200, 800);
    window.show();
    window.ShowSpan(3600);
    ASSERT_TRUE(WaitFor([&] { return !window.IsPeriodsBusy() && window.ShadedPeriods() == 6; }))
        << window.ShadedPeriods();
    std::set<QRgb> shaded;
    QCustomPlot* pPlot = window.Plot();
    for (int i = 0; i < pPlot->itemCount(); ++i) {
        auto* pRect = qobject_cast<QCPItemRect*>(pPlot->item(i));
        if (pRect && pRect->layer() == pPlot->layer(QStringLiteral("shading"))) shaded.insert(pRect->brush().color().rgba());
    }
    EXPECT_EQ(shaded, colours);

    // The legend under the plots names every kind beside its colour.
    auto* pLegend = window.findChild<CShadingLegend*>(QStringLiteral("shadingLegend"));
    ASSERT_NE(pLegend, nullptr);
    EXPECT_TRUE(pLegend->isVisible());
    std::set<QRgb> swatches;
    std::set<QString> named;
    for (QLabel* pLabel : pLegend->findChildren<QLabel*>()) {
        if (pLabel->objectName() == QLatin1String("swatch"))
            swatches.insert(pLabel->palette().color(QPalette::Window).rgba());
        else
            named.insert(pLabel->text());
    }
    EXPECT_EQ(swatches, colours);
    EXPECT_EQ(named, texts);
    RemoveTestDirectory(dir);
}

}  // namespace
}  // namespace velmor::test
