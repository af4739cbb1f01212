// Throughput of the receive path (assembler plus dispatcher) on a stream
// such as an identified type-16 unit sends, and the time to build a page.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "NullHost.h"
#include "app/Program.h"
#include "display/StatusPage.h"
#include "settings/Profile.h"

namespace velmor {
namespace {

std::string Sentence(const std::string& body)
{
    unsigned char sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// One minute of reports of an identified, time-locked unit.
std::string RecordedStream()
{
    std::string stream;
    for (int second = 0; second < 60; ++second) {
        char time[64];
        std::snprintf(time, sizeof time, "TIME,2026,341,12,%02d,%02d,1,3,1", second / 60, second % 60);
        stream += Sentence(time);
        stream += Sentence("SIGQ,05,45,2,12,41,2,17,38,2,22,33,1,25,29,2,31,44,2,02,00,0,00,00,0");
        stream += Sentence("TIMD," + std::to_string(second % 7 - 3));
        stream += Sentence("EFER,+1.234E-12");
        stream += Sentence("ESSD,3.21E-12");
        stream += Sentence("ESSN," + std::to_string(100 + second));
        if (second % 5 == 0) {
            stream += Sentence("POS1,33,11.1234,N,117,22.2345,W,123.45");
            stream += Sentence("TEMP,+41.2");
            stream += Sentence("DACV,032768");
        }
    }
    return stream;
}

void BM_ReceivePath(benchmark::State& state)
{
    CNullHost host;
    CNullDevice device;
    CProfile profile = CProfile::InMemory();
    CProgram program(host, device, profile);
    program.m_link.m_bPortOpen = true;
    program.m_state.m_nProductType = program.m_state.m_nReportedProductType = 16;
    program.m_state.m_bIdentified = true;
    const std::string stream = RecordedStream();
    std::size_t sentences = 0;
    for (char c : stream) sentences += c == '$';
    for (auto _ : state) {
        program.FeedBytes(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["sentences/s"] = benchmark::Counter(static_cast<double>(state.iterations() * sentences),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceivePath);

class CNullSender : public ICommandSender {
public:
    void SendCommand(std::string_view) override {}
};

void BM_PageBuild(benchmark::State& state)
{
    CUnitState unit;
    unit.m_nProductType = 16;
    unit.m_chDisciplineState = '1';
    unit.m_chPositionMode = 'K';
    unit.m_chSubscribedPositionMode = 'K';
    unit.m_chGpsChannels = '8';
    CNullSender sender;
    for (auto _ : state) {
        std::string page = BuildStatusPage(unit, sender);
        benchmark::DoNotOptimize(page.data());
    }
}
BENCHMARK(BM_PageBuild);

}  // namespace
}  // namespace velmor
