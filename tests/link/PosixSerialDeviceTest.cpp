#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <string>

#include "platform/PosixSerialDevice.h"

namespace velmor {
namespace {

// A pseudo-terminal pair: the device opens the slave, the test plays the
// unit on the master.
struct PtyFixture : ::testing::Test {
    int m_nMaster = -1;
    std::string m_strSlave;

    void SetUp() override
    {
        m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(m_nMaster, 0);
        ASSERT_EQ(::grantpt(m_nMaster), 0);
        ASSERT_EQ(::unlockpt(m_nMaster), 0);
        m_strSlave = ::ptsname(m_nMaster);
    }
    void TearDown() override
    {
        if (m_nMaster >= 0) ::close(m_nMaster);
    }

    std::string ReadMaster(std::size_t expected)
    {
        std::string out;
        char buffer[256];
        while (out.size() < expected) {
            pollfd pfd{m_nMaster, POLLIN, 0};
            if (::poll(&pfd, 1, 2000) <= 0) break;
            ssize_t n = ::read(m_nMaster, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }

    // Reads from the device until |expected| bytes came or two seconds passed.
    static std::string ReadDevice(CPosixSerialDevice& device, std::size_t expected)
    {
        std::string out;
        std::uint8_t buffer[512];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (out.size() < expected && std::chrono::steady_clock::now() < deadline) {
            long n = device.Read(buffer, sizeof buffer);
            if (n < 0) break;
            if (n == 0) ::usleep(5000);
            out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
        }
        return out;
    }
};

TEST_F(PtyFixture, OpenApplyWriteAndReadBothWays)
{
    CPosixSerialDevice device;
    ASSERT_TRUE(device.Open(m_strSlave));
    EXPECT_TRUE(device.IsOpen());
    LineSettings line{38400, 8, 'E', 2};
    ASSERT_TRUE(device.Apply(line));
    EXPECT_EQ(device.LastSettings().m_nBaud, 38400);
    EXPECT_EQ(device.LastSettings().m_chParity, 'E');
    EXPECT_FALSE(device.Apply(LineSettings{12345, 8, 'N', 1}));
    EXPECT_EQ(device.LastSettings().m_nBaud, 38400);

    std::uint8_t buffer[16];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0);  // nothing there, no waiting

    // Raw mode: CR and LF pass unchanged in both directions.
    const std::string out = "$PRID*\r\n";
    ASSERT_TRUE(device.Write(reinterpret_cast<const std::uint8_t*>(out.data()), out.size(), 1000));
    EXPECT_EQ(ReadMaster(out.size()), out);
    const std::string in = "$PRID,1*00\r\n\x7f";
    ASSERT_EQ(::write(m_nMaster, in.data(), in.size()), static_cast<ssize_t>(in.size()));
    EXPECT_EQ(ReadDevice(device, in.size()), in);
}

TEST_F(PtyFixture, SecondOpenIsRefusedUntilClose)
{
    CPosixSerialDevice first, second;
    ASSERT_TRUE(first.Open(m_strSlave));
    EXPECT_FALSE(second.Open(m_strSlave));
    // Root passes TIOCEXCL; the lock is what other programs see then.
    int probe = ::open(m_strSlave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (probe >= 0) {
        EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);
        ::close(probe);
    }
    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.Open(m_strSlave));
    EXPECT_FALSE(second.Open("/nonexistent/tty"));
    EXPECT_FALSE(second.IsOpen());
}

TEST_F(PtyFixture, ReadAfterTheFarEndClosedDoesNotBlock)
{
    CPosixSerialDevice device;
    ASSERT_TRUE(device.Open(m_strSlave));
    ::close(m_nMaster);
    m_nMaster = -1;
    std::uint8_t buffer[16];
    const auto start = std::chrono::steady_clock::now();
    long n = device.Read(buffer, sizeof buffer);
    EXPECT_TRUE(n == -1 || n == 0) << n;
    const std::uint8_t byte = 'x';
    EXPECT_FALSE(device.Write(&byte, 1, 200));
    // Not blocking is what counts; a loaded machine may stretch the 200 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(PtyFixture, FailedOpensSayWhyAndAHangUpIsRemembered)
{
    CPosixSerialDevice first, second;
    ASSERT_TRUE(first.Open(m_strSlave));
    EXPECT_TRUE(first.LastOpenError().empty());
    EXPECT_FALSE(second.Open(m_strSlave));
    EXPECT_EQ(second.LastOpenError(), m_strSlave + ": in use by another program");
    EXPECT_FALSE(second.Open("/nonexistent/ttyUSB0"));
    EXPECT_EQ(second.LastOpenError(), "/nonexistent/ttyUSB0: no such device");
    EXPECT_FALSE(second.Open("/dev/null"));
    EXPECT_EQ(second.LastOpenError(), "/dev/null: not a serial device");
    if (::geteuid() != 0) {
        char path[] = "/tmp/velmor-tty-XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        ::fchmod(fd, 0);
        ::close(fd);
        EXPECT_FALSE(second.Open(path));
        // The file's group is the user's own, not dialout: it is named.
        EXPECT_NE(second.LastOpenError().find(std::string(path) + ": permission denied; add yourself to the "),
                  std::string::npos)
            << second.LastOpenError();
        ::unlink(path);
    }

    // The far end goes: reads fail from then on, until the device is closed.
    EXPECT_FALSE(first.IsHungUp());
    ::close(m_nMaster);
    m_nMaster = -1;
    std::uint8_t buffer[16];
    EXPECT_EQ(first.Read(buffer, sizeof buffer), -1);
    EXPECT_TRUE(first.IsHungUp());
    EXPECT_EQ(first.Read(buffer, sizeof buffer), -1);
    first.Close();
    EXPECT_FALSE(first.IsHungUp());
}

TEST_F(PtyFixture, WriteGivesUpWhenNobodyReads)
{
    CPosixSerialDevice device;
    ASSERT_TRUE(device.Open(m_strSlave));
    std::string block(4096, 'A');
    const auto start = std::chrono::steady_clock::now();
    bool allWritten = true;
    for (int i = 0; i < 64 && allWritten; ++i)
        allWritten = device.Write(reinterpret_cast<const std::uint8_t*>(block.data()), block.size(), 100);
    EXPECT_FALSE(allWritten);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
}  // namespace velmor
