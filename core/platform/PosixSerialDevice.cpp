#include "platform/PosixSerialDevice.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

namespace velmor {

namespace {

struct RateCode {
    int m_nBaud;
    speed_t m_speed;
};

constexpr RateCode kRates[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},       {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

bool SpeedFor(int baud, speed_t& speed)
{
    for (const RateCode& rate : kRates)
        if (rate.m_nBaud == baud) {
            speed = rate.m_speed;
            return true;
        }
    return false;
}

// Raw bytes both ways, receiver on, modem lines ignored, no flow control.
// VMIN 1 with O_NONBLOCK makes "nothing there" EAGAIN, so that a read of 0
// bytes can only mean end of file (a hang-up).
void MakeRaw(termios& tio)
{
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// The group that owns |path|, the one a person must join to use it; empty
// when it cannot be found.
std::string OwningGroup(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->gr_name == nullptr)
        return {};
    return found->gr_name;
}

// Errors that mean the device went away under an open descriptor.
bool IsHangUpError(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

}  // namespace

CPosixSerialDevice::~CPosixSerialDevice() { Close(); }

bool CPosixSerialDevice::FailOpen(const std::string& path, int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: m_strOpenError = path + ": no such device"; break;
    case EACCES:
    case EPERM: {
        std::string group = OwningGroup(path);
        if (group.empty()) group = "dialout";
        if (group == "root")
            m_strOpenError = path + ": permission denied; only the administrator may open it";
        else
            m_strOpenError = path + ": permission denied; add yourself to the " + group + " group";
        break;
    }
    case EBUSY:
    case EWOULDBLOCK: m_strOpenError = path + ": in use by another program"; break;
    case ENOTTY:
    case EINVAL: m_strOpenError = path + ": not a serial device"; break;
    default: m_strOpenError = path + ": cannot be opened (" + std::strerror(error) + ")"; break;
    }
    return false;
}

bool CPosixSerialDevice::Open(const std::string& path)
{
    Close();
    m_strOpenError.clear();
    if (path.empty()) return FailOpen(path, ENOENT);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return FailOpen(path, errno);
    // Each step has its own reason: a lock or exclusive mode held by someone
    // else means the line is busy, tcgetattr refusing means it is no terminal.
    int error = 0;
    termios tio{};
    if (!::isatty(fd))
        error = ENOTTY;
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = EBUSY;
    else if (::ioctl(fd, TIOCEXCL) != 0)
        error = EBUSY;
    else if (::tcgetattr(fd, &tio) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return FailOpen(path, error);
    }
    MakeRaw(tio);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return FailOpen(path, error);
    }
    m_nFd = fd;
    m_bHungUp = false;
    return true;
}

bool CPosixSerialDevice::Apply(const LineSettings& settings)
{
    if (m_nFd < 0) return false;
    speed_t speed = 0;
    if (!SpeedFor(settings.m_nBaud, speed)) return false;
    termios tio{};
    if (::tcgetattr(m_nFd, &tio) != 0) return false;
    MakeRaw(tio);

    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    switch (settings.m_nDataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return false;
    }
    switch (settings.m_chParity) {
    case 'N': tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD); break;
    case 'O': tio.c_cflag |= PARENB | PARODD; break;
    case 'E':
        tio.c_cflag |= PARENB;
        tio.c_cflag &= ~static_cast<tcflag_t>(PARODD);
        break;
    default: return false;
    }
    if (settings.m_nStopBits == 1)
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    else if (settings.m_nStopBits == 2)
        tio.c_cflag |= CSTOPB;
    else
        return false;

    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
    if (::tcsetattr(m_nFd, TCSANOW, &tio) != 0) return false;
    m_lastSettings = settings;
    return true;
}

void CPosixSerialDevice::Purge()
{
    if (m_nFd >= 0) ::tcflush(m_nFd, TCIOFLUSH);
}

void CPosixSerialDevice::ClearErrors() {}

long CPosixSerialDevice::Read(std::uint8_t* buffer, std::size_t size)
{
    if (m_nFd < 0 || buffer == nullptr || m_bHungUp) return -1;
    if (size == 0) return 0;
    if (size > static_cast<std::size_t>(LONG_MAX)) size = static_cast<std::size_t>(LONG_MAX);
    ssize_t count = ::read(m_nFd, buffer, size);
    if (count > 0) return static_cast<long>(count);
    if (count == 0) {  // end of file: the other side hung up
        m_bHungUp = true;
        return -1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    if (IsHangUpError(errno)) m_bHungUp = true;
    return -1;
}

bool CPosixSerialDevice::Write(const std::uint8_t* data, std::size_t size, int timeoutMs)
{
    if (m_nFd < 0) return false;
    if (size == 0) return true;
    if (data == nullptr) return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::size_t done = 0;
    while (done < size) {
        ssize_t count = ::write(m_nFd, data + done, size - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            if (IsHangUpError(errno)) m_bHungUp = true;
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{m_nFd, POLLOUT, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(left > INT_MAX ? INT_MAX : left));
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            if ((pfd.revents & (POLLERR | POLLHUP)) != 0) m_bHungUp = true;
            return false;
        }
    }
    return true;
}

void CPosixSerialDevice::Close()
{
    if (m_nFd < 0) return;
    // Exclusive mode belongs to the terminal, not to this descriptor: give it
    // back so that the next open (ours or another program's) succeeds.
    ::ioctl(m_nFd, TIOCNXCL);
    ::flock(m_nFd, LOCK_UN);
    ::close(m_nFd);
    m_nFd = -1;
    m_bHungUp = false;
}

}  // namespace velmor
