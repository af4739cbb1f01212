// The monitor's reference counter: --counter after its --device, and the
// velmor_counter_* series a counter's lines make.

#include <gtest/gtest.h>

#include <sstream>

#include <prometheus/text_serializer.h>

#include "CounterMonitor.h"
#include "MonitorOptions.h"
#include "support/FakeHost.h"
#include "support/FakeSerialDevice.h"

namespace velmor {
namespace {

TEST(MonitorCounterOptions, BelongsToTheDeviceBeforeIt)
{
    CMonitorOptions options;
    std::string error;
    ASSERT_TRUE(ParseMonitorArgs({"--device", "/dev/ttyS0", "--counter", "/dev/ttyACM0", "--device",
                                  "tcp://unit:2001,baud=9600", "--counter=rfc2217://ticc:2217,format=reading,baud=57600"},
                                 options, error))
        << error;
    ASSERT_EQ(options.m_devices.size(), 2u);
    ASSERT_EQ(options.m_devices[0].m_counters.size(), 1u);
    EXPECT_EQ(options.m_devices[0].m_counters[0].m_strDevice, "/dev/ttyACM0");
    EXPECT_EQ(options.m_devices[0].m_counters[0].m_nBaud, 115200);
    EXPECT_EQ(options.m_devices[0].m_counters[0].m_format, CounterFormat::Auto);
    ASSERT_EQ(options.m_devices[1].m_counters.size(), 1u);
    EXPECT_EQ(options.m_devices[1].m_counters[0].m_format, CounterFormat::Reading);
    EXPECT_EQ(options.m_devices[1].m_counters[0].m_nBaud, 57600);

    struct Bad {
        std::vector<std::string> args;
        const char* error;
    } bad[] = {
        {{"--counter", "/dev/ttyACM0", "--device", "/dev/ttyS0"}, "counter: belongs to a --device given before it"},
        {{"--device", "/dev/ttyS0", "--counter", "/dev/ttyACM0,format=ticc"},
         "counter /dev/ttyACM0: format takes timestamp, reading or auto, not 'ticc'"},
        {{"--device", "/dev/ttyS0", "--counter", "/dev/ttyACM0,baud=12345"},
         "counter /dev/ttyACM0: baud: not a rate the serial driver offers: '12345'"},
        {{"--device", "/dev/ttyS0", "--counter", "/dev/ttyACM0,share=:1"},
         "counter /dev/ttyACM0: expected format=timestamp|reading|auto or baud=RATE, got 'share=:1'"},
        {{"--device", "/dev/ttyS0", "--counter", ",baud=9600"}, "counter: empty"},
    };
    for (const Bad& b : bad) {
        CMonitorOptions o;
        std::string e;
        EXPECT_FALSE(ParseMonitorArgs(b.args, o, e));
        EXPECT_EQ(e, b.error);
    }
    // A configuration file's counter follows its device too.
    CMonitorOptions fromFile;
    ASSERT_TRUE(ReadMonitorConfig("device=/dev/ttyS1\ncounter=/dev/ttyACM1,format=timestamp\n", "m.conf", fromFile,
                                  error));
    ASSERT_EQ(fromFile.m_devices.at(0).m_counters.size(), 1u);
    EXPECT_EQ(fromFile.m_devices[0].m_counters[0].m_format, CounterFormat::Timestamp);
}

std::string Scrape(prometheus::Registry& registry)
{
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, registry.Collect());
    std::istringstream in(out.str());
    std::string line, kept;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') kept += line + "\n";
    return kept;
}

TEST(MonitorCounterMetrics, PhaseSamplesSlipsErrorsAndUp)
{
    CFakeHost host;
    CFakeSerialDevice device;
    CCounterOptions options;
    options.m_strDevice = "/dev/ttyACM0";
    CCounterSession session(host, device, options);
    prometheus::Registry registry;
    CCounterMetrics metrics(registry, "/dev/ttyS0", "/dev/ttyACM0");
    session.AddObserver(metrics);
    const std::string labels = "{counter=\"/dev/ttyACM0\",device=\"/dev/ttyS0\"}";

    session.Tick();
    metrics.OnTick(session);
    std::string text = Scrape(registry);
    // No phase before the first sample; the counters are there at zero.
    EXPECT_EQ(text.find("velmor_counter_phase_seconds"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_counter_up" + labels + " 0"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_counter_samples_total" + labels + " 0"), std::string::npos) << text;

    // Six seconds of both channels (auto-detected after five lines), a
    // garbage line, and a 2 us step in the last second.
    std::string lines = "TICC booting\r\n";
    const char* fractions[] = {"25000001000", "25000001010", "25000001020", "25000001030", "25000001040",
                               "25000201040"};
    for (int i = 0; i < 6; ++i) {
        lines += std::to_string(10 + i) + "." + fractions[i] + " chA\r\n";
        lines += std::to_string(10 + i) + ".25000000000 chB\r\n";
        if (i == 3) lines += "chA chB\r\n";
    }
    device.QueueInput(lines);
    host.Advance(200);
    session.Tick();
    metrics.OnTick(session);
    text = Scrape(registry);
    // The first A-B pair came with the second line: the series is A-B
    // from there on, six pairs; only the first A came before it.
    EXPECT_NE(text.find("velmor_counter_samples_total" + labels + " 7"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_counter_phase_seconds" + labels + " 2.0104e-06"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_counter_cycle_slips_total" + labels + " 1"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_counter_parse_errors_total" + labels + " 1"), std::string::npos) << text;
    EXPECT_NE(text.find("velmor_counter_up" + labels + " 1"), std::string::npos) << text;

    host.Advance(CCounterSession::kUpWindowMs + 200);
    session.Tick();
    metrics.OnTick(session);
    EXPECT_NE(Scrape(registry).find("velmor_counter_up" + labels + " 0"), std::string::npos);
}

}  // namespace
}  // namespace velmor
