// The monitor's parts without the process: the metric mapping driven through
// the real program, the options, and the line sharer over real sockets.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <prometheus/text_serializer.h>

#include "LineShare.h"
#include "MetricsObserver.h"
#include "MonitorEvents.h"
#include "MonitorOptions.h"
#include "app/Program.h"
#include "history/HistoryStore.h"
#include "history/HistoryTime.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

class MetricsThroughProgram : public ::testing::Test {
protected:
    MetricsThroughProgram()
        : m_profile(CProfile::InMemory()), m_program(m_host, m_device, m_profile),
          m_metrics(m_registry, "tcp://unit:2001", [] { return 1700000000.5; })
    {
        m_program.Session().AddObserver(m_metrics);
    }
    std::string Scrape()
    {
        std::ostringstream out;
        prometheus::TextSerializer().Serialize(out, m_registry.Collect());
        // Comments and the exposer's own families are not ours.
        std::istringstream in(out.str());
        std::string line, kept;
        while (std::getline(in, line))
            if (!line.empty() && line[0] != '#') kept += line + "\n";
        return kept;
    }
    void Feed(const std::string& body) { m_program.Session().DispatchSentence(body); }
    // A link event as the session tells it, at the fake host's tick.
    void Tell(LinkEvent event)
    {
        CObservation observation{event, 0, {}, {}, m_program.Session().State(), m_program.Session().Readings(),
                                 m_host.m_nTick};
        m_metrics.OnObservation(observation);
    }
    void TickWith(bool deviceOpen) { m_metrics.OnTick(m_host.m_nTick, m_program.Session().Readings(), deviceOpen); }
    bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

    CFakeHost m_host;
    CFakeSerialDevice m_device;
    CProfile m_profile;
    CProgram m_program;
    prometheus::Registry m_registry;
    CMetricsObserver m_metrics;
};

TEST_F(MetricsThroughProgram, ReadingsAppearOnlyOnceReportedWithBaseUnits)
{
    // Before any report only the counters and velmor_up exist: a zero
    // temperature would look like a reading.
    std::string text = Scrape();
    EXPECT_NE(text.find("velmor_up{device=\"tcp://unit:2001\"} 0"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_sentences_total{device=\"tcp://unit:2001\"} 0"), std::string::npos);
    for (const char* absent : {"velmor_pps_offset_seconds", "velmor_temperature_celsius", "velmor_dac_value",
                               "velmor_discipline_state", "velmor_unit_info", "velmor_satellites",
                               "velmor_last_sentence_timestamp_seconds"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;

    Tell(LinkEvent::PortOpened);
    Feed("PRID,16,600-1000-01");
    Feed("TIME,2010,045,13,24,05,2,3,1");
    Feed("TIMD,-82");
    Feed("EFER,1.2E-11");
    Feed("DACV,032779");
    Feed("TEMP,045.5");
    Feed("SIGQ,05,45,2,12,40,1,00,0,0,21,33,2,07,20,1");
    text = Scrape();
    EXPECT_NE(text.find("velmor_up{device=\"tcp://unit:2001\"} 1"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_pps_offset_seconds{device=\"tcp://unit:2001\"} -8.2"), std::string::npos) << text;
    EXPECT_NE(text.find("e-08"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_frequency_error_ratio{device=\"tcp://unit:2001\"} 1.2e-11"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_dac_value{device=\"tcp://unit:2001\"} 32779"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_temperature_celsius{device=\"tcp://unit:2001\"} 45.5"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_tfom{device=\"tcp://unit:2001\"} 3"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_discipline_state{device=\"tcp://unit:2001\",state=\"locked\"} 1"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_discipline_state{device=\"tcp://unit:2001\",state=\"warm_up\"} 0"), std::string::npos) << text;
    // Four channels track a satellite (the third is empty); type 16 counts
    // track mode 2 as used.
    EXPECT_NE(text.find("velmor_satellites{device=\"tcp://unit:2001\",status=\"tracked\"} 4"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_satellites{device=\"tcp://unit:2001\",status=\"used\"} 2"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_sentences_total{device=\"tcp://unit:2001\"} 7"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_last_sentence_timestamp_seconds{device=\"tcp://unit:2001\"} 1700000000.5"), std::string::npos) << text;
    EXPECT_NE(text.find("part_number=\"600-1000-01\""), std::string::npos) << text;
    EXPECT_NE(text.find("device=\"tcp://unit:2001\""), std::string::npos) << text;

    // Placeholders and junk leave the last good value; an unknown state
    // character leaves every state at 0.
    Feed("TEMP,0??.?");
    Feed("TIME,2010,045,13,24,06,2,3,7");
    text = Scrape();
    EXPECT_NE(text.find("velmor_temperature_celsius{device=\"tcp://unit:2001\"} 45.5"), std::string::npos) << text;
    EXPECT_EQ(text.find("velmor_discipline_state{device=\"tcp://unit:2001\",state=\"locked\"} 1"), std::string::npos) << text;
    EXPECT_EQ(text.find("} 1\nvelmor_discipline_state"), std::string::npos);

    // Another unit on the same line replaces the identity series.
    Feed("PRID,4,530-1234-01");
    text = Scrape();
    EXPECT_EQ(text.find("600-1000-01"), std::string::npos) << text;
    EXPECT_NE(text.find("530-1234-01"), std::string::npos) << text;
}

// The reading gauges whose last value would draw a flat line through an outage.
constexpr const char* kReadingGauges[] = {"velmor_pps_offset_seconds", "velmor_frequency_error_ratio",
                                          "velmor_dac_value",          "velmor_temperature_celsius",
                                          "velmor_tfom",               "velmor_satellites",
                                          "velmor_discipline_state",   "velmor_holdover_seconds"};

TEST_F(MetricsThroughProgram, UpAndFreshnessTellTheTruthThroughOutages)
{
    const std::string up = "velmor_up{device=\"tcp://unit:2001\"} ";
    const std::string fresh = "velmor_data_fresh{device=\"tcp://unit:2001\"} ";
    const auto readingsShown = [&](const std::string& text) {
        int shown = 0;
        for (const char* gauge : kReadingGauges) shown += Has(text, std::string(gauge) + "{") ? 1 : 0;
        return shown;
    };
    m_host.m_nTick = 1000;
    Tell(LinkEvent::PortOpened);
    Feed("PRID,16,600-1000-01");
    // Identified on an open device: up, though no time report came yet.
    EXPECT_TRUE(m_metrics.IsUp());
    EXPECT_FALSE(m_metrics.IsFresh());
    Feed("TIME,2010,045,13,24,05,2,3,1");
    Feed("TIMD,-82");
    Feed("EFER,1.2E-11");
    Feed("DACV,032779");
    Feed("TEMP,045.5");
    Feed("SIGQ,05,45,2,12,40,1,00,0,0,21,33,2,07,20,1");
    Feed("TRMO,0000010");
    std::string text = Scrape();
    EXPECT_TRUE(Has(text, up + "1") && Has(text, fresh + "1")) << text;
    EXPECT_EQ(readingsShown(text), 7) << text;  // no holdover time while locked

    // Other reports keep coming, but without a time report the data is
    // stale from the stale limit on: the gauges go, the rest stays.
    m_host.m_nTick += kStaleMs - 1;
    Feed("TEMP,045.5");
    TickWith(true);
    EXPECT_TRUE(m_metrics.IsFresh());
    m_host.m_nTick += 1;
    TickWith(true);
    EXPECT_FALSE(m_metrics.IsFresh());
    EXPECT_TRUE(m_metrics.IsUp());
    Feed("TEMP,046.5");  // arrives while stale: not shown alone
    text = Scrape();
    EXPECT_TRUE(Has(text, up + "1") && Has(text, fresh + "0")) << text;
    EXPECT_EQ(readingsShown(text), 0) << text;
    for (const char* kept : {"velmor_unit_info{", "velmor_sentences_total{", "velmor_last_sentence_timestamp_seconds{",
                             "velmor_reconnects_total{", "velmor_checksum_errors_total{"})
        EXPECT_TRUE(Has(text, kept)) << kept;

    // A time report makes it fresh again; each gauge returns with its next report.
    Feed("TIME,2010,045,13,24,15,2,3,1");
    text = Scrape();
    EXPECT_TRUE(Has(text, fresh + "1")) << text;
    EXPECT_TRUE(Has(text, "velmor_tfom{device=\"tcp://unit:2001\"} 3")) << text;
    EXPECT_FALSE(Has(text, "velmor_temperature_celsius{")) << "the value from the stale time is not shown";
    Feed("TEMP,047.0");
    EXPECT_TRUE(Has(Scrape(), "velmor_temperature_celsius{device=\"tcp://unit:2001\"} 47")) << Scrape();

    // The session's own stale conclusion counts at once, until time resumes.
    Tell(LinkEvent::DataStale);
    EXPECT_FALSE(m_metrics.IsFresh());
    EXPECT_EQ(readingsShown(Scrape()), 0);
    Feed("TIME,2010,045,13,24,16,2,3,1");
    EXPECT_TRUE(m_metrics.IsFresh());

    // The device goes away: both drop with the event, not ten seconds later,
    // and the tick that sees the device closed agrees.
    Tell(LinkEvent::PortLost);
    EXPECT_FALSE(m_metrics.IsUp());
    EXPECT_FALSE(m_metrics.IsFresh());
    TickWith(false);
    text = Scrape();
    EXPECT_TRUE(Has(text, up + "0") && Has(text, fresh + "0")) << text;
    EXPECT_EQ(readingsShown(text), 0) << text;
    EXPECT_TRUE(Has(text, "velmor_unit_info{")) << text;

    // Back: time reports are fresh data at once, but up waits for the unit
    // to say who it is on the reopened device.
    Tell(LinkEvent::PortOpened);
    Tell(LinkEvent::PortRestored);
    TickWith(true);
    Feed("TIME,2010,045,13,24,30,2,3,1");
    EXPECT_TRUE(m_metrics.IsFresh());
    EXPECT_FALSE(m_metrics.IsUp());
    Feed("PRID,16,600-1000-01");
    EXPECT_TRUE(m_metrics.IsUp());
    text = Scrape();
    EXPECT_TRUE(Has(text, "velmor_reconnects_total{device=\"tcp://unit:2001\"} 1")) << text;

    // A tick that finds the device closed without an event (a failed
    // reopen) drops up as well.
    TickWith(false);
    EXPECT_FALSE(m_metrics.IsUp());
    EXPECT_FALSE(m_metrics.IsFresh());
}

// What the process writes on standard error while it lives (the journal's side).
class CStderrCapture {
public:
    CStderrCapture() : m_path(::testing::TempDir() + "velmor-stderr-" + std::to_string(::getpid()))
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    std::string Text()
    {
        std::ifstream in(m_path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    ~CStderrCapture()
    {
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        std::remove(m_path.c_str());
    }

private:
    std::string m_path;
    int m_saved = -1;
};

// Rows of the events table as "device|part|name|detail", in order.
std::vector<std::string> EventRows(const std::string& path)
{
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return rows;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT u.device, u.part_number, e.name, coalesce(e.detail, '') FROM events e"
                       " JOIN units u ON u.id = e.unit_id ORDER BY e.id",
                       -1, &statement, nullptr);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < 4; ++i)
            row += std::string(i ? "|" : "") + reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

// The monitor's alarms driven through the real program: the limits from its
// options, each event in the journal at its priority, in the counter and in
// the events table under its own unit when two units share one database.
TEST_F(MetricsThroughProgram, AlarmEventsReachJournalCounterAndTable)
{
    CMonitorOptions options;
    std::string error;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "/dev/ttyS3", "--alarm-temperature-max", "60", "--alarm-tfom-limit", "2",
                                  "--alarm-pps-limit-ns", "0"},
                                 options, error))
        << error;
    const auto dir = std::filesystem::path(::testing::TempDir()) / ("velmor-events-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    CHistoryOptions historyOptions;
    historyOptions.m_strPath = (dir / "history.sqlite3").string();
    CHistoryStore store(historyOptions);
    CStderrCapture journal;
    CMonitorEvents events(m_registry, "/dev/ttyS3", options.m_alarms, &store, [] { return SystemUtcMs(); });
    CMonitorEvents other(m_registry, "/dev/ttyS4", options.m_alarms, &store, [] { return SystemUtcMs(); });
    m_program.Session().AddObserver(events);
    const auto advance = [&](std::uint64_t ms) {
        m_host.m_nTick += ms;
        events.Tick(m_host.m_nTick);
    };

    m_host.m_nTick = 1000;
    Feed("PRID,16,600-1000-01");
    Feed("TIME,2010,045,13,24,05,2,2,1");  // locked, TFOM 2: the baseline, no event
    Feed("TEMP,045.5");
    Feed("TIMD,-900");                      // 1PPS not watched (limit 0)
    advance(CAlarmMonitor::kHoldOffMs);
    EXPECT_EQ(journal.Text(), "");

    Feed("TIME,2010,045,13,24,10,2,3,2");  // coasting, TFOM above the limit
    Feed("TEMP,061.0");
    advance(CAlarmMonitor::kHoldOffMs - 1);
    EXPECT_EQ(journal.Text(), "") << "the hold-off has not run out";
    advance(1);
    // Locked again; the TFOM stays high.
    Feed("TIME,2010,045,13,24,20,2,3,1");
    advance(CAlarmMonitor::kHoldOffMs);

    // The other unit's device goes away; its event is its own.
    CObservation lost{LinkEvent::PortLost, 0, {}, {}, CUnitState(), CReadings(), m_host.m_nTick};
    other.OnObservation(lost);
    other.Tick(m_host.m_nTick + CAlarmMonitor::kHoldOffMs);

    const std::string text = journal.Text();
    const char* expected[] = {
        "<3>/dev/ttyS3: lock-lost state=Coasting (unit 600-1000-01)\n",
        "<3>/dev/ttyS3: holdover-started state=Coasting (unit 600-1000-01)\n",
        "<4>/dev/ttyS3: tfom-high tfom=3 limit=2 (unit 600-1000-01)\n",
        "<4>/dev/ttyS3: temperature-out-of-range temperature=61.0 C range=0..60 C (unit 600-1000-01)\n",
        "<5>/dev/ttyS3: lock-regained state=Time-Locked (unit 600-1000-01)\n",
        "<5>/dev/ttyS3: holdover-ended state=Time-Locked (unit 600-1000-01)\n",
        "<3>/dev/ttyS4: link-lost\n",
    };
    std::size_t at = 0;
    for (const char* line : expected) {
        const auto found = text.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "in order in:\n" << text;
        if (found != std::string::npos) at = found + 1;
    }
    EXPECT_FALSE(Has(text, "pps-offset")) << text;

    const std::string scrape = Scrape();
    EXPECT_TRUE(Has(scrape, "velmor_events_total{device=\"/dev/ttyS3\",event=\"lock-lost\"} 1")) << scrape;
    EXPECT_TRUE(Has(scrape, "velmor_events_total{device=\"/dev/ttyS3\",event=\"tfom-high\"} 1")) << scrape;
    EXPECT_TRUE(Has(scrape, "velmor_events_total{device=\"/dev/ttyS3\",event=\"link-lost\"} 0")) << scrape;
    EXPECT_TRUE(Has(scrape, "velmor_events_total{device=\"/dev/ttyS4\",event=\"link-lost\"} 1")) << scrape;

    ASSERT_TRUE(store.Flush());
    const std::vector<std::string> rows = EventRows(historyOptions.m_strPath);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], "/dev/ttyS3|600-1000-01|lock-lost|state=Coasting");
    EXPECT_EQ(rows[3], "/dev/ttyS3|600-1000-01|temperature-out-of-range|temperature=61.0 C range=0..60 C");
    EXPECT_EQ(rows[6], "/dev/ttyS4||link-lost|");
    m_program.Session().RemoveObserver(events);
    store.Close();
    std::filesystem::remove_all(dir);
}

TEST(MonitorOptions, FileThenCommandLineAndBadValuesNamed)
{
    CMonitorOptions options;
    std::string error;
    ASSERT_TRUE(ReadMonitorConfig("# unit in rack 3\n\nDEVICE=/dev/ttyUSB0\nbaud = 9600\nshare=\"127.0.0.1:4000\"\n",
                                  "a.conf", options, error))
        << error;
    ASSERT_EQ(options.m_devices.size(), 1u);
    EXPECT_EQ(options.m_devices[0].m_strDevice, "/dev/ttyUSB0");
    EXPECT_EQ(options.m_nBaud, 9600);
    EXPECT_EQ(options.m_strShare, "127.0.0.1:4000");
    EXPECT_EQ(options.m_strListen, kDefaultListen);

    EXPECT_FALSE(ReadMonitorConfig("device=/dev/x\nbaud=12345\n", "b.conf", options, error));
    EXPECT_EQ(error.rfind("b.conf:2: baud", 0), 0u) << error;
    EXPECT_FALSE(ReadMonitorConfig("nonsense\n", "c.conf", options, error));
    EXPECT_EQ(error, "c.conf:1: expected KEY=VALUE");
    EXPECT_FALSE(ReadMonitorConfig("colour=blue\n", "d.conf", options, error));

    CHostPort address;
    EXPECT_TRUE(ParseHostPort("[::1]:19841", address));
    EXPECT_EQ(address.m_strHost, "::1");
    EXPECT_TRUE(ParseHostPort(":80", address));
    EXPECT_EQ(address.m_strHost, "");
    EXPECT_TRUE(ParseHostPort("127.0.0.1:0", address));  // the system's choice, logged
    EXPECT_EQ(address.m_nPort, 0);
    for (const char* bad : {"19841", "host:", "host:-1", "host:65536", "::1:80", "host:8x", "[::1]80"})
        EXPECT_FALSE(ParseHostPort(bad, address)) << bad;

    CMonitorOptions fromArgs;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "tcp://ser:2001", "--listen=none", "--baud", "4800"}, fromArgs, error))
        << error;
    EXPECT_EQ(fromArgs.m_strListen, "");
    EXPECT_EQ(fromArgs.m_nBaud, 4800);
    CMonitorOptions noDevice;
    EXPECT_FALSE(ParseMonitorArgs({"--listen", "127.0.0.1:1"}, noDevice, error));
    EXPECT_EQ(error, "no --device given");
    EXPECT_FALSE(ParseMonitorArgs({"--device"}, fromArgs, error));
    EXPECT_FALSE(ParseMonitorArgs({"--device", "x", "--config", "/nonexistent/velmor.conf"}, fromArgs, error));

    // Several devices, each with its own rate and share; the plain --baud
    // and --share only with one device.
    CMonitorOptions two;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "/dev/ttyUSB0,baud=9600,share=127.0.0.1:4000", "--device",
                                  "tcp://ser:2001"},
                                 two, error))
        << error;
    ASSERT_EQ(two.m_devices.size(), 2u);
    EXPECT_EQ(two.m_devices[0].m_nBaud, 9600);
    EXPECT_EQ(two.m_devices[0].m_strShare, "127.0.0.1:4000");
    EXPECT_EQ(two.m_devices[1].m_strDevice, "tcp://ser:2001");
    EXPECT_EQ(two.m_devices[1].m_nBaud, 0);
    for (const char* plain : {"--baud", "--share"}) {
        CMonitorOptions refused;
        EXPECT_FALSE(ParseMonitorArgs({"--device", "a", "--device", "b", plain,
                                       std::string(plain) == "--baud" ? "9600" : "127.0.0.1:1"},
                                      refused, error));
        EXPECT_NE(error.find("several devices"), std::string::npos) << error;
    }
    CMonitorOptions one;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "/dev/ttyS1", "--baud", "4800"}, one, error)) << error;
    EXPECT_EQ(one.m_devices.at(0).m_nBaud, 4800);
    for (const char* bad : {",baud=9600", "/dev/x,speed=9600", "/dev/x,baud=12345", "/dev/x,share=nowhere"}) {
        CMonitorOptions refused;
        EXPECT_FALSE(ParseMonitorArgs({"--device", bad}, refused, error)) << bad;
    }
    // The configuration file repeats device=; the command line's replace them.
    CMonitorOptions file;
    ASSERT_TRUE(ReadMonitorConfig("device=/dev/ttyUSB0\ndevice=/dev/ttyUSB1,baud=4800\n", "e.conf", file, error));
    EXPECT_EQ(file.m_devices.size(), 2u);

    // The alarms' limits from the file and the command line; bad ones named.
    CMonitorOptions alarms;
    ASSERT_TRUE(ReadMonitorConfig("alarm-pps-limit-ns=250\nalarm-temperature-min=-20\n", "f.conf", alarms, error));
    EXPECT_EQ(alarms.m_alarms.m_nPpsLimitNs, 250);
    EXPECT_EQ(alarms.m_alarms.m_nTemperatureLow, -20);
    EXPECT_EQ(alarms.m_alarms.m_nTemperatureHigh, 70);
    EXPECT_EQ(alarms.m_alarms.m_nTfomLimit, 5);
    for (const auto& [key, bad] : std::vector<std::pair<std::string, std::string>>{
             {"--alarm-tfom-limit", "10"}, {"--alarm-tfom-limit", "-1"}, {"--alarm-pps-limit-ns", "1e3"},
             {"--alarm-temperature-min", "-"}, {"--alarm-temperature-max", "201"}, {"--alarm-temperature-min", "--5"}}) {
        CMonitorOptions refused;
        EXPECT_FALSE(ParseMonitorArgs({"--device", "x", key, bad}, refused, error)) << key << " " << bad;
        EXPECT_NE(error.find(key.substr(2)), std::string::npos) << error;
    }
    // Every watched unit runs with the limits.
    CMonitorOptions both;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "a", "--device", "b", "--alarm-tfom-limit", "3"}, both, error)) << error;
    EXPECT_EQ(both.m_devices.at(0).m_alarms.m_nTfomLimit, 3);
    EXPECT_EQ(both.m_devices.at(1).m_alarms.m_nTfomLimit, 3);
    CMonitorOptions inverted;
    EXPECT_FALSE(ParseMonitorArgs({"--device", "x", "--alarm-temperature-min", "50", "--alarm-temperature-max", "40"},
                                  inverted, error));
    EXPECT_EQ(error, "alarm-temperature-min is above alarm-temperature-max");

    CMonitorOptions state;
    ApplyEnvironmentDefaults(state, "/var/lib/velmor/rack3:/other");
    EXPECT_EQ(state.m_strDb, "/var/lib/velmor/rack3/history.db");
}

// ---- the line sharer over loopback sockets ---------------------------------

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

class LineShareTest : public ::testing::Test {
protected:
    LineShareTest()
        : m_share([this](std::string_view framed) {
              m_writes.emplace_back(framed);
              return true;
          })
    {
        std::string error;
        EXPECT_TRUE(m_share.Listen("127.0.0.1", 0, error)) << error;
    }
    // Runs the sharer's part of the monitor loop for |ms|.
    void Pump(int ms = 50)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            std::vector<pollfd> fds;
            m_share.AddPollFds(fds);
            if (::poll(fds.data(), fds.size(), 5) > 0) m_share.OnPoll(fds, 0);
        }
    }
    // Runs the loop until |done| holds, for at most 30 s: a loaded machine
    // may take a while to carry a megabyte through loopback.
    template <typename Done>
    bool PumpUntil(Done done)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= until) return false;
            Pump(5);
        }
        return true;
    }
    void FromUnit(const std::string& bytes)
    {
        CObservation observation{LinkEvent::BytesReceived, 0, {}, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                                 m_state, m_readings, 0};
        m_share.OnObservation(observation);
    }
    static std::string ReadSome(int fd)
    {
        char buffer[65536];
        std::string text;
        ssize_t count;
        while ((count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) text.append(buffer, static_cast<std::size_t>(count));
        return text;
    }

    CUnitState m_state;
    CReadings m_readings;
    std::vector<std::string> m_writes;
    CLineShare m_share;
};

TEST_F(LineShareTest, WholeSentencesGoToTheUnitButNotTheGlobalUnsubscribe)
{
    const int a = Connect(m_share.BoundPort());
    const int b = Connect(m_share.BoundPort());
    ASSERT_TRUE(PumpUntil([&] { return m_share.ClientCount() == 2u; }));

    // A sentence in three pieces, a CR LF split across sends, the farewell
    // of a desktop program, garbage, and a legacy CR-only sentence.
    const std::string parts[] = {"$ANT", "D,000005*", "4A\r", "\n$UNSL,XXXX,1*4E\r\n", "hello\r\n$PRID*58\r"};
    for (const std::string& part : parts) {
        ASSERT_EQ(::send(a, part.data(), part.size(), 0), static_cast<ssize_t>(part.size()));
        Pump(20);
    }
    // And a megabyte without a line end, then a good sentence from the other client.
    const std::string flood(1 << 20, 'x');
    std::size_t sent = 0;
    while (sent < flood.size()) {
        const ssize_t n = ::send(b, flood.data() + sent, flood.size() - sent, MSG_DONTWAIT);
        if (n > 0) sent += static_cast<std::size_t>(n);
        Pump(2);
    }
    const std::string after = "\r\n$GPSE*5C\r\n";
    ::send(b, after.data(), after.size(), 0);

    const std::vector<std::string> expected = {"$ANTD,000005*4A\r", "\n", "$PRID*58\r", "$GPSE*5C\r", "\n"};
    PumpUntil([&] { return m_writes.size() >= expected.size(); });
    Pump();  // nothing more may follow
    EXPECT_EQ(m_writes, expected);
    EXPECT_EQ(m_share.HeldBackSentences(), 1u);
    EXPECT_EQ(m_share.ClientCount(), 2u);

    // What the unit says reaches both.
    FromUnit("$TIME,2010,045,13,24,05,2,3,1*00\r\n");
    const std::string time = "$TIME,2010,045,13,24,05,2,3,1*00\r\n";
    std::string atA, atB;
    PumpUntil([&] {
        atA += ReadSome(a);
        atB += ReadSome(b);
        return atA.size() >= time.size() && atB.size() >= time.size();
    });
    EXPECT_EQ(atA, time);
    EXPECT_EQ(atB, time);
    ::close(a);
    ::close(b);
    EXPECT_TRUE(PumpUntil([&] { return m_share.ClientCount() == 0u; }));
}

TEST_F(LineShareTest, ASlowClientIsDroppedAndTheOthersKeepEverything)
{
    const int slow = Connect(m_share.BoundPort());
    const int reader = Connect(m_share.BoundPort());
    const int small = 4096;
    ::setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    ASSERT_TRUE(PumpUntil([&] { return m_share.ClientCount() == 2u; }));
    const std::string chunk(1000, 'r');
    std::size_t received = 0;
    // The kernel buffers a few megabytes before the sharer's own cap counts.
    for (int i = 0; i < 20000 && m_share.ClientCount() == 2; ++i) {
        FromUnit(chunk);
        received += ReadSome(reader).size();
    }
    ASSERT_EQ(m_share.ClientCount(), 1u);
    // Whatever the sharer still holds for the reader arrives, whole.
    PumpUntil([&] {
        received += ReadSome(reader).size();
        return received % chunk.size() == 0 && received > CLineShare::kMaxPendingOutput;
    });
    EXPECT_EQ(received % chunk.size(), 0u);
    EXPECT_GT(received, CLineShare::kMaxPendingOutput);
    // The place is free again for a newcomer.
    const int next = Connect(m_share.BoundPort());
    EXPECT_TRUE(PumpUntil([&] { return m_share.ClientCount() == 2u; }));
    ::close(next);
    ::close(slow);
    ::close(reader);
}

}  // namespace
}  // namespace velmor
