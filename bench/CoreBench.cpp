// Throughput of the receive path (assembler plus dispatcher) on a stream
// recorded from a simulated type-16 unit, and the time to build a page.

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "NullHost.h"
#include "app/Program.h"
#include "display/StatusPage.h"
#include "settings/Profile.h"

namespace velmor {
namespace {

// The bytes a simulated type-16 unit sent during one minute of monitoring
// (recorded with bench/record_stream.py); empty when the file is missing.
const std::string& RecordedStream()
{
    static const std::string stream = [] {
        std::ifstream in(VELMOR_BENCH_STREAM, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return stream;
}

// A program that has identified a type-16 unit and has its port open, as the
// receive path runs while monitoring.
struct CMonitoringProgram {
    CNullHost host;
    CNullDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program{host, device, profile};

    CMonitoringProgram()
    {
        program.Session().LinkForTest().m_bPortOpen = true;
        program.Session().StateForTest().m_nProductType = program.Session().StateForTest().m_nReportedProductType = 16;
        program.Session().StateForTest().m_bIdentified = true;
    }
    void Feed(const std::string& bytes)
    {
        program.Session().FeedBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
};

// The least an observer can do: count what it is told.
class CCountingObserver : public IUnitObserver {
public:
    void OnObservation(const CObservation& observation) override { m_uSeen += observation.m_uReported | 1u; }
    std::uint64_t m_uSeen = 0;
};

void BM_ReceivePath(benchmark::State& state)
{
    const std::string& stream = RecordedStream();
    if (stream.empty()) {
        state.SkipWithError("recorded stream " VELMOR_BENCH_STREAM " missing or empty");
        return;
    }
    CMonitoringProgram monitor;
    CCountingObserver observer;
    // 0: no observer at all; 1: the program's own link-health observer, as
    // it always runs; 2: that one and a trivial one.
    if (state.range(0) == 0) monitor.program.Session().RemoveObserver(monitor.program.Session().HealthForTest());
    if (state.range(0) == 2) monitor.program.Session().AddObserver(observer);
    std::size_t sentences = 0;
    for (char c : stream) sentences += c == '$';
    for (auto _ : state) {
        monitor.Feed(stream);
        benchmark::ClobberMemory();
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["MB/s"] = benchmark::Counter(iterations * static_cast<double>(stream.size()) / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["sentences/s"] =
        benchmark::Counter(iterations * static_cast<double>(sentences), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceivePath)->Arg(0)->Arg(1)->Arg(2);

// The page as drawn while monitoring: the unit state the recorded minute
// leaves behind.
void BM_PageBuild(benchmark::State& state)
{
    CMonitoringProgram monitor;
    monitor.Feed(RecordedStream());
    const CUnitState unit = monitor.program.Session().State();
    for (auto _ : state) {
        std::string page = BuildStatusPage(unit);
        benchmark::DoNotOptimize(page.data());
    }
}
BENCHMARK(BM_PageBuild);

}  // namespace
}  // namespace velmor
