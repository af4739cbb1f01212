// The monitor's parts without the process: the metric mapping driven through
// the real program, the options, and the line sharer over real sockets.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include <prometheus/text_serializer.h>

#include "LineShare.h"
#include "MetricsObserver.h"
#include "MonitorOptions.h"
#include "app/Program.h"
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

TEST_F(MetricsThroughProgram, UpFollowsTimeReportsAndStaleEvents)
{
    m_host.m_nTick = 1000;
    Feed("PRID,16,600-1000-01");
    EXPECT_FALSE(m_metrics.IsUp());  // identified, but no time yet
    Feed("TIME,2010,045,13,24,05,2,3,1");
    EXPECT_TRUE(m_metrics.IsUp());
    // Other reports keep coming, but without time the data is stale.
    m_host.m_nTick += kStaleMs - 1;
    Feed("TEMP,045.5");
    EXPECT_TRUE(m_metrics.IsUp());
    m_host.m_nTick += 1;
    m_metrics.OnTick(m_host.m_nTick, m_program.Session().Readings());
    EXPECT_FALSE(m_metrics.IsUp());
    Feed("TIME,2010,045,13,24,15,2,3,1");
    EXPECT_TRUE(m_metrics.IsUp());
    // The program's own stale conclusion counts at once, until time resumes.
    CObservation stale{LinkEvent::DataStale, 0, {}, {}, m_program.Session().State(), m_program.Session().Readings(), m_host.m_nTick};
    m_metrics.OnObservation(stale);
    EXPECT_FALSE(m_metrics.IsUp());
    Feed("TIME,2010,045,13,24,16,2,3,1");
    EXPECT_TRUE(m_metrics.IsUp());
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
    Pump();
    ASSERT_EQ(m_share.ClientCount(), 2u);

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
    Pump();

    const std::vector<std::string> expected = {"$ANTD,000005*4A\r", "\n", "$PRID*58\r", "$GPSE*5C\r", "\n"};
    EXPECT_EQ(m_writes, expected);
    EXPECT_EQ(m_share.HeldBackSentences(), 1u);
    EXPECT_EQ(m_share.ClientCount(), 2u);

    // What the unit says reaches both.
    FromUnit("$TIME,2010,045,13,24,05,2,3,1*00\r\n");
    Pump();
    EXPECT_EQ(ReadSome(a), "$TIME,2010,045,13,24,05,2,3,1*00\r\n");
    EXPECT_EQ(ReadSome(b), "$TIME,2010,045,13,24,05,2,3,1*00\r\n");
    ::close(a);
    ::close(b);
    Pump();
    EXPECT_EQ(m_share.ClientCount(), 0u);
}

TEST_F(LineShareTest, ASlowClientIsDroppedAndTheOthersKeepEverything)
{
    const int slow = Connect(m_share.BoundPort());
    const int reader = Connect(m_share.BoundPort());
    const int small = 4096;
    ::setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    Pump();
    const std::string chunk(1000, 'r');
    std::size_t received = 0;
    // The kernel buffers a few megabytes before the sharer's own cap counts.
    for (int i = 0; i < 20000 && m_share.ClientCount() == 2; ++i) {
        FromUnit(chunk);
        received += ReadSome(reader).size();
    }
    ASSERT_EQ(m_share.ClientCount(), 1u);
    Pump();
    received += ReadSome(reader).size();
    EXPECT_EQ(received % chunk.size(), 0u);
    EXPECT_GT(received, CLineShare::kMaxPendingOutput);
    // The place is free again for a newcomer.
    const int next = Connect(m_share.BoundPort());
    Pump();
    EXPECT_EQ(m_share.ClientCount(), 2u);
    ::close(next);
    ::close(slow);
    ::close(reader);
}

}  // namespace
}  // namespace velmor
