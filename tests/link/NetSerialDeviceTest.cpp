// Network serial ports against listeners on the loopback interface: why an
// open fails and how long it takes, the open that never waits, hang-ups, and
// an RFC 2217 server played byte by byte.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/DeviceByPath.h"
#include "platform/NetSerialDevice.h"

namespace velmor {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listening socket on 127.0.0.1 with a port of the system's choosing.
class CListener {
public:
    explicit CListener(int backlog = 4)
    {
        m_nFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_nFd < 0 || ::bind(m_nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_nFd, backlog) != 0 ||
            ::getsockname(m_nFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_nPort = ntohs(address.sin_port);
    }
    ~CListener() { Close(); }
    void Close()
    {
        if (m_nFd >= 0) ::close(m_nFd);
        m_nFd = -1;
    }
    int Port() const { return m_nPort; }
    std::string Url(const char* scheme) const { return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_nPort); }
    // The next connection, or -1 after |timeoutMs|.
    int Accept(int timeoutMs)
    {
        pollfd pfd{m_nFd, POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0) return -1;
        return ::accept(m_nFd, nullptr, nullptr);
    }
    // Fills the accept queue (nobody accepts) until a further connection
    // gets no answer at all; false where the system answers anyway.
    bool MakeUnresponsive()
    {
        for (int i = 0; i < 8; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(m_nPort));
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(fd);
            pollfd pfd{fd, POLLOUT, 0};
            if (::poll(&pfd, 1, 300) == 0) return true;  // this one hangs: so will the next
        }
        return false;
    }

private:
    int m_nFd = -1;
    int m_nPort = 0;
    struct CFds {
        std::vector<int> m_fds;
        void push_back(int fd) { m_fds.push_back(fd); }
        ~CFds()
        {
            for (int fd : m_fds) ::close(fd);
        }
    } m_fillers;
};

std::string ReadFor(SerialDevice& device, std::size_t expected, int timeoutMs = 5000)
{
    std::string out;
    std::uint8_t buffer[256];
    const auto start = Clock::now();
    while (out.size() < expected && MsSince(start) < timeoutMs) {
        const long n = device.Read(buffer, sizeof buffer);
        if (n < 0) break;
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n > 0 ? n : 0));
    }
    return out;
}

TEST(NetSerialDevice, FailedOpensSayWhyWithinTheirBudget)
{
    CDeviceByPath device;

    CListener closed;
    const std::string refused = closed.Url("tcp");
    closed.Close();
    auto start = Clock::now();
    EXPECT_FALSE(device.Open(refused));
    EXPECT_EQ(device.LastOpenError(), refused + ": connection refused");
    // Upper bounds here only tell a time limit from none (the kernel's own
    // connect time-out is about two minutes); a loaded machine may stretch
    // any wait by seconds, so they leave that much room.
    EXPECT_LT(MsSince(start), 10000);

    CListener full(0);
    if (full.MakeUnresponsive()) {
        const std::string url = full.Url("rfc2217");
        start = Clock::now();
        EXPECT_FALSE(device.Open(url));
        const long long elapsed = MsSince(start);
        EXPECT_EQ(device.LastOpenError(), url + ": no answer within 3 s");
        EXPECT_GE(elapsed, 2900);
        EXPECT_LT(elapsed, 15000);
        EXPECT_FALSE(device.IsOpen());
    }

    // A name the resolver cannot know; a resolver that cannot be reached at
    // all ends in the time limit instead.
    start = Clock::now();
    EXPECT_FALSE(device.Open("tcp://no-such-host.invalid:4001"));
    const std::string reason = device.LastOpenError();
    EXPECT_TRUE(reason == "tcp://no-such-host.invalid:4001: host unknown" ||
                reason == "tcp://no-such-host.invalid:4001: no answer within 3 s")
        << reason;
    EXPECT_LT(MsSince(start), 15000);

    EXPECT_FALSE(device.Open("rfc2217://[::1]"));
    EXPECT_EQ(device.LastOpenError(), "rfc2217://[::1]: not a network port; write rfc2217://HOST:PORT");
    EXPECT_FALSE(device.Open("tcp://host:99999"));
    // Anything without a network scheme is a terminal path.
    EXPECT_FALSE(device.Open("/nonexistent/ttyUSB7"));
    EXPECT_EQ(device.CurrentKind(), CDeviceByPath::Kind::Terminal);
    EXPECT_EQ(device.LastOpenError(), "/nonexistent/ttyUSB7: no such device");
}

TEST(NetSerialDevice, NonBlockingOpenNeverWaitsAndStartsOverAfterAFailure)
{
    CListener full(0);
    if (!full.MakeUnresponsive()) GTEST_SKIP() << "this system answers connections beyond the accept queue";
    CNetSerialDevice device(CNetSerialDevice::Protocol::Raw);
    const std::string url = full.Url("tcp");
    const auto start = Clock::now();
    long long longestCall = 0;
    int calls = 0;
    while (device.LastOpenError().empty() && MsSince(start) < 10000) {
        const auto before = Clock::now();
        EXPECT_FALSE(device.OpenNonBlocking(url));
        longestCall = std::max(longestCall, MsSince(before));
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(device.LastOpenError(), url + ": no answer within 3 s");
    EXPECT_GE(MsSince(start), 2900);
    EXPECT_GT(calls, 10);
    EXPECT_LT(longestCall, 500);  // a waiting call would take the whole 3 s

    // The next call starts a new attempt, here at a server that answers.
    CListener open;
    const std::string good = open.Url("tcp");
    bool bOpen = false;
    for (int i = 0; i < 200 && !bOpen; ++i) {
        bOpen = device.OpenNonBlocking(good);
        if (!bOpen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(bOpen);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_TRUE(device.LastOpenError().empty());
    EXPECT_TRUE(device.OpenNonBlocking(good));  // already open: stays so
}

TEST(NetSerialDevice, RawPortPassesBytesUnchangedAndReportsTheHangUp)
{
    CListener listener;
    CDeviceByPath device;
    ASSERT_TRUE(device.Open(listener.Url("TCP")));
    EXPECT_FALSE(device.CanChangeLineSettings());
    EXPECT_TRUE(device.Apply(LineSettings{9600, 7, 'E', 2}));
    int server = listener.Accept(5000);
    ASSERT_GE(server, 0);

    const std::string toUnit("$PRID*\xff\r\n", 9);
    ASSERT_TRUE(device.Write(reinterpret_cast<const std::uint8_t*>(toUnit.data()), toUnit.size(), 1000));
    char buffer[64];
    std::string received;
    while (received.size() < toUnit.size()) {
        pollfd pfd{server, POLLIN, 0};
        ASSERT_GT(::poll(&pfd, 1, 5000), 0);
        const ssize_t n = ::read(server, buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        received.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(received, toUnit);

    // Purge drops what has arrived; what comes later is read. The device
    // cannot be asked whether the junk has arrived without reading it, so
    // give the loopback a moment.
    ASSERT_EQ(::write(server, "junk", 4), 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    device.Purge();
    const std::string fromUnit("\xff$PRID,16*3E\r\n", 14);
    ASSERT_EQ(::write(server, fromUnit.data(), fromUnit.size()), static_cast<ssize_t>(fromUnit.size()));
    EXPECT_EQ(ReadFor(device, fromUnit.size()), fromUnit);

    // The server goes away: reads fail from then on, and the device says why.
    ::close(server);
    const auto start = Clock::now();
    std::uint8_t byte[8];
    long n = 0;
    while ((n = device.Read(byte, sizeof byte)) == 0 && MsSince(start) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(device.IsHungUp());
    EXPECT_EQ(device.Read(byte, sizeof byte), -1);
    EXPECT_FALSE(device.Write(byte, 1, 100));
    EXPECT_TRUE(device.IsOpen());  // until the program closes it
    device.Close();
    EXPECT_FALSE(device.IsHungUp());

    // A reset rather than an orderly close is a hang-up too.
    ASSERT_TRUE(device.Open(listener.Url("tcp")));
    server = listener.Accept(5000);
    ASSERT_GE(server, 0);
    linger abort{1, 0};
    ::setsockopt(server, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(server);
    const auto reset = Clock::now();
    while (device.Read(byte, sizeof byte) == 0 && MsSince(reset) < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(device.IsHungUp());
}

// An RFC 2217 server that opens as ser2net does, confirms the first rate
// asked for and nothing else (not the modem lines, not a second rate), sends
// escaped data and records every byte it receives.
class CScriptedRfc2217Server {
public:
    explicit CScriptedRfc2217Server(CListener& listener) : m_listener(listener)
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~CScriptedRfc2217Server() { Stop(); }
    void Stop()
    {
        m_bStop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    std::string Received() const { return m_strReceived; }  // after Stop

    std::atomic<bool> m_bStop{false};

private:
    void Send(int fd, const std::string& bytes) { (void)!::write(fd, bytes.data(), bytes.size()); }
    void Run()
    {
        const int fd = m_listener.Accept(10000);
        if (fd < 0) return;
        // ser2net 4.3's greeting: offers and requests at once, before it
        // has read anything from the client.
        Send(fd, std::string("\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c", 21));
        const std::string askRate("\xff\xfa\x2c\x01\x00\x00\x25\x80\xff\xf0", 10);
        bool bConfirmed = false;
        const auto start = Clock::now();
        while (!m_bStop && MsSince(start) < 20000) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            m_strReceived.append(buffer, static_cast<std::size_t>(n));
            if (!bConfirmed && m_strReceived.find(askRate) != std::string::npos) {
                bConfirmed = true;
                // The confirmation, then data holding a 0xFF, in pieces.
                Send(fd, std::string("\xff\xfa\x2c\x65\x00\x00\x25\x80\xff\xf0$A", 12));
                Send(fd, std::string("\xff", 1));
                Send(fd, std::string("\xff\xff\xfa\x2c\x6a\x30\xff\xf0"));
                Send(fd, std::string("B\r\n"));
            }
        }
        ::close(fd);
    }

    CListener& m_listener;
    std::thread m_thread;
    std::string m_strReceived;
};

TEST(NetSerialDevice, Rfc2217SendsSettingsEscapesBothWaysAndWaitsOnlyForTheRate)
{
    CListener listener;
    CScriptedRfc2217Server server(listener);
    CDeviceByPath device;
    ASSERT_TRUE(device.Open(listener.Url("rfc2217")));
    EXPECT_TRUE(device.CanChangeLineSettings());
    auto* net = dynamic_cast<CNetSerialDevice*>(device.Current());
    ASSERT_NE(net, nullptr);

    // The rate is confirmed at once; the modem-line requests never are, and
    // Apply does not wait for them.
    auto start = Clock::now();
    EXPECT_TRUE(device.Apply(LineSettings{9600, 8, 'N', 1}));
    EXPECT_LT(MsSince(start), CNetSerialDevice::kApplyAckMs);
    EXPECT_EQ(net->ConfirmedBaud(), 9600u);

    // 0xFF arrives doubled and split across writes, around a notice.
    EXPECT_EQ(ReadFor(device, 5), "$A\xff" "B\r\n");
    const std::string out("x\xffy", 3);
    ASSERT_TRUE(device.Write(reinterpret_cast<const std::uint8_t*>(out.data()), out.size(), 1000));

    // A rate the server does not confirm costs at most the bounded wait.
    start = Clock::now();
    EXPECT_TRUE(device.Apply(LineSettings{4800, 8, 'N', 1}));
    const long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, CNetSerialDevice::kApplyAckMs - 50);
    EXPECT_LT(elapsed, CNetSerialDevice::kApplyAckMs + 10000);
    EXPECT_FALSE(device.Apply(LineSettings{9600, 9, 'N', 1}));
    device.Purge();
    device.Close();

    server.Stop();
    const std::string wire = server.Received();
    auto has = [&](const std::string& bytes) { return wire.find(bytes) != std::string::npos; };
    EXPECT_TRUE(has(std::string("\xff\xfb\x2c", 3))) << "WILL COM-PORT-OPTION";
    EXPECT_TRUE(has(std::string("\xff\xfe\x01", 3))) << "DONT ECHO, the answer to WILL ECHO";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x02\x08\xff\xf0", 7))) << "8 data bits";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x03\x01\xff\xf0", 7))) << "no parity";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x04\x01\xff\xf0", 7))) << "1 stop bit";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x05\x08\xff\xf0", 7))) << "DTR on";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x05\x0b\xff\xf0", 7))) << "RTS on";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x01\x00\x00\x12\xc0\xff\xf0", 10))) << "4800";
    EXPECT_TRUE(has(std::string("\xff\xfa\x2c\x0c\x03\xff\xf0", 7))) << "purge both";
    EXPECT_TRUE(has(std::string("x\xff\xffy", 4))) << "data 0xFF doubled";
    // Each of the server's requests is answered at most once: no loops.
    EXPECT_EQ(wire.find(std::string("\xff\xfe\x01", 3)), wire.rfind(std::string("\xff\xfe\x01", 3)));
}

}  // namespace
}  // namespace velmor
