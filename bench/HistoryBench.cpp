// The cost of recording the unit's history: what a row costs the receive
// path, how fast the worker commits, how big a day of rows is, and how long a
// plot over a month of one-second rows takes to read.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "readings/Decode.h"
#include "HistoryBenchData.h"

namespace velmor {
namespace {

using benchdata::kDayMs;
using benchdata::kT0;
using benchdata::MonthDatabase;
using benchdata::TypicalRow;


std::string TempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("velmor-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

void RemoveDatabase(const std::string& path)
{
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

// The receive path: a 1PPS report and the time report that closes the row,
// through the recorder into the queue. The worker commits meanwhile.
void BM_RecorderRow(benchmark::State& state)
{
    const std::string path = TempPath("recorder.sqlite3");
    CHistoryOptions options;
    options.m_strPath = path;
    CHistoryStore store(options);
    std::int64_t now = kT0;
    CHistoryRecorder recorder(store, "/dev/ttyS0", [&now] { return now; });
    CUnitState unit;
    CReadings readings;
    unit.m_strFreqErrorEstimate = "1.23E-12";
    unit.m_strDacValue = "032768";
    std::uint64_t tick = 0;
    std::int64_t rows = 0;
    const auto report = [&](Reported what, std::string_view keyword) {
        UpdateReadings(readings, unit, static_cast<std::uint32_t>(what), keyword, tick);
        recorder.OnObservation(
            CObservation{LinkEvent::SentenceHandled, static_cast<std::uint32_t>(what), keyword, {}, unit, readings, tick});
    };
    report(Reported::FrequencyError | Reported::Dac, "EFER");
    for (auto _ : state) {
        unit.m_nLastTimeDiff = static_cast<int>(rows % 17);
        report(Reported::PpsOffset, "TIMD");
        report(Reported::UnitTime | Reported::TimeMode | Reported::Tfom | Reported::DisciplineState, "TIME");
        now += 1000;
        tick += 1000;
        if (++rows % 4096 == 0) {
            // Keeps the queue below its bound, so no row takes the drop path.
            state.PauseTiming();
            store.Flush();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(rows);
    state.counters["dropped"] = static_cast<double>(store.Counters().m_qwRowsDropped);
    store.Close();
    RemoveDatabase(path);
}
BENCHMARK(BM_RecorderRow);

// The worker: rows committed per second (appending them costs little next to
// that), and the database's size per day of one row a second.
void BM_WorkerCommit(benchmark::State& state)
{
    const std::string path = TempPath("commit.sqlite3");
    constexpr int kChunk = 8000;
    std::int64_t rows = 0;
    {
        CHistoryOptions options;
        options.m_strPath = path;
        options.m_clock = [] { return kT0; };
        CHistoryStore store(options);
        store.SetUnit("512-6200-03", "/dev/ttyS0", "V1", 16);
        for (auto _ : state) {
            for (int i = 0; i < kChunk; ++i, ++rows) store.Append(TypicalRow(kT0 - kDayMs + rows * 1000, static_cast<int>(rows)));
            store.Flush(60000);
        }
        state.counters["dropped"] = static_cast<double>(store.Counters().m_qwRowsDropped);
    }
    state.SetItemsProcessed(rows);
    std::uintmax_t bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path + suffix, ec);
        if (!ec) bytes += size;
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["bytes_per_row"] = static_cast<double>(bytes) / static_cast<double>(rows);
    state.counters["MB_per_day"] = static_cast<double>(bytes) / static_cast<double>(rows) * 86400 / 1e6;
    RemoveDatabase(path);
}
BENCHMARK(BM_WorkerCommit)->Iterations(13)->UseRealTime()->Unit(benchmark::kMillisecond);  // ~10^5 rows

// A plot of one quantity over the month: at most 4000 points with envelopes.
void BM_SeriesMonth(benchmark::State& state)
{
    CHistoryQuery query;
    std::string error;
    if (!query.Open(MonthDatabase(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::int64_t unit = query.ListUnits().at(0).m_llId;
    std::size_t points = 0;
    for (auto _ : state) {
        const CHistorySeries series =
            query.ReadSeries(unit, HistoryQuantity::PpsOffset, kT0 - 30 * kDayMs, kT0, 4000);
        points = series.m_points.size();
        benchmark::DoNotOptimize(series);
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_SeriesMonth)->Unit(benchmark::kMillisecond);

// A day of one quantity for the plot: its 1440 minute roll-ups.
void BM_SeriesDay(benchmark::State& state)
{
    CHistoryQuery query;
    std::string error;
    if (!query.Open(MonthDatabase(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::int64_t unit = query.ListUnits().at(0).m_llId;
    std::size_t points = 0;
    for (auto _ : state) {
        const CHistorySeries series = query.ReadSeries(unit, HistoryQuantity::Temperature, kT0 - kDayMs, kT0, 4000);
        points = series.m_points.size();
        benchmark::DoNotOptimize(series);
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_SeriesDay)->Unit(benchmark::kMillisecond);

// The phase of the whole month for the stability statistics.
void BM_PhaseMonth(benchmark::State& state)
{
    CHistoryQuery query;
    std::string error;
    if (!query.Open(MonthDatabase(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::int64_t unit = query.ListUnits().at(0).m_llId;
    for (auto _ : state) benchmark::DoNotOptimize(query.ReadPhase(unit, kT0 - 30 * kDayMs, kT0));
}
BENCHMARK(BM_PhaseMonth)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace velmor
