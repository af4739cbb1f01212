// Every consumer reads the same readings: the history row's satellite counts
// equal the metrics' velmor_satellites for the same sentences, whatever the
// channel table holds.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <random>
#include <sstream>

#include <prometheus/text_serializer.h>

#include "MetricsObserver.h"
#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "session/Session.h"
#include "settings/Profile.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

constexpr std::int64_t kT0 = 1796637600000;  // 2026-12-07T10:00:00Z

int Gauge(const std::string& text, const std::string& series)
{
    const std::size_t at = text.find(series + " ");
    if (at == std::string::npos) return -1;
    return std::stoi(text.substr(at + series.size() + 1));
}

TEST(ConsumersAgree, HistoryAndMetricsCountTheSameSatellites)
{
    const auto dir = std::filesystem::temp_directory_path() / ("velmor-agree-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    CHistoryOptions options;
    options.m_strPath = (dir / "history.sqlite3").string();
    options.m_nCommitIntervalMs = 50;
    std::int64_t now = kT0;
    {
        CFakeHost host;
        CFakeSerialDevice device;
        CProfile profile = CProfile::InMemory();
        CSession session(host, device, profile);
        prometheus::Registry registry;
        CMetricsObserver metrics(registry, "/dev/ttyS0", [] { return 1.0; });
        CHistoryStore store(options);
        CHistoryRecorder recorder(store, "/dev/ttyS0", [&now] { return now; });
        session.AddObserver(metrics);
        session.AddObserver(recorder);
        // The metrics show readings only while the device is open and the
        // time reports are fresh; the first TIME gives a row of its own.
        metrics.OnObservation({LinkEvent::PortOpened, 0, {}, {}, session.State(), session.Readings(), 0});
        session.DispatchSentence("PRID,16,600-1000-01");
        session.DispatchSentence("TIME,2026,341,09,59,59,1,3,1");
        now += 1000;

        // The short table that once gave 5 tracked in the history and 2 in
        // the metrics, then random tables: PRNs, empty and junk channels,
        // every track mode, channel counts in and out of range.
        std::vector<std::string> tables{"SIGQ,05,45,2,12,40,1,00,0,0,21,33,0,07,20,1"};
        std::mt19937 random(19);
        const char* prns[] = {"00", "05", "12", "x1", "-4", "31", " 7", "99"};
        for (int n = 0; n < 40; ++n) {
            std::string body = "SIGQ";
            const int rows = static_cast<int>(random() % 9);
            for (int i = 0; i < rows; ++i)
                body += std::string(",") + prns[random() % 8] + "," + std::to_string(random() % 60) + "," +
                        std::to_string(random() % 4);
            tables.push_back(body);
        }
        std::vector<std::pair<int, int>> scraped;
        int second = 0;
        for (const std::string& table : tables) {
            session.DispatchSentence(table);
            std::ostringstream text;
            prometheus::TextSerializer().Serialize(text, registry.Collect());
            scraped.emplace_back(Gauge(text.str(), "velmor_satellites{device=\"/dev/ttyS0\",status=\"tracked\"}"),
                                 Gauge(text.str(), "velmor_satellites{device=\"/dev/ttyS0\",status=\"used\"}"));
            if (scraped.back().first < 0)
                scraped.back() = {Gauge(text.str(), "velmor_satellites{status=\"tracked\"}"),
                                  Gauge(text.str(), "velmor_satellites{status=\"used\"}")};
            char time[64];
            std::snprintf(time, sizeof time, "TIME,2026,341,10,%02d,%02d,1,3,1", second / 60, second % 60);
            session.DispatchSentence(time);
            ++second;
            now += 1000;
            host.Advance(1000);  // the next table arrives a second later, before its time report
        }
        recorder.Stop();  // writes the last row
        session.RemoveObserver(recorder);
        ASSERT_TRUE(store.Flush());
        CHistoryQuery query;
        std::string error;
        ASSERT_TRUE(query.Open(options.m_strPath, error)) << error;
        const auto rows = query.ReadRows(query.ListUnits().at(0).m_llId, 0, kT0 + 86400000);
        ASSERT_EQ(rows.size(), tables.size() + 1);
        EXPECT_EQ(scraped[0], std::make_pair(3, 1));
        for (std::size_t i = 0; i < tables.size(); ++i) {
            EXPECT_EQ(rows[i + 1].m_nSatellitesTracked.value_or(-1), scraped[i].first) << tables[i];
            EXPECT_EQ(rows[i + 1].m_nSatellitesUsed.value_or(-1), scraped[i].second) << tables[i];
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmor
