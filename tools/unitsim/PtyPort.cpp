#include "PtyPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace velmor {

namespace {

struct CRate {
    speed_t m_speed;
    int m_nBaud;
};

const CRate kRates[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

}  // namespace

int BaudOfSpeed(unsigned speed)
{
    for (const CRate& rate : kRates)
        if (rate.m_speed == speed) return rate.m_nBaud;
    return -1;
}

CPtyPort::~CPtyPort()
{
    RemoveLink();
    if (m_nSlave >= 0) ::close(m_nSlave);
    if (m_nMaster >= 0) ::close(m_nMaster);
}

bool CPtyPort::Open(std::string& error)
{
    m_nMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_nMaster < 0 || ::grantpt(m_nMaster) != 0 || ::unlockpt(m_nMaster) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(m_nMaster);
    if (name == nullptr) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    m_strSlavePath = name;
    ::fcntl(m_nMaster, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);

    m_nSlave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_nSlave < 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    // Raw until the program sets its own line: no echo of what we write back
    // to us, no CR/LF translation of our sentences.
    termios tio{};
    if (::tcgetattr(m_nSlave, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(m_nSlave, TCSANOW, &tio);
    }
    return true;
}

bool CPtyPort::MakeLink(const std::string& path, std::string& error)
{
    struct stat info{};
    // Replace a stale link of an earlier run, never a real file.
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            error = path + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(m_strSlavePath.c_str(), path.c_str()) != 0) {
        error = "cannot link " + path + ": " + std::strerror(errno);
        return false;
    }
    m_strLink = path;
    return true;
}

void CPtyPort::RemoveLink()
{
    if (m_strLink.empty()) return;
    ::unlink(m_strLink.c_str());
    m_strLink.clear();
}

int CPtyPort::LineRate() const
{
    // On the master, tcgetattr reports the slave's settings, which is where
    // the program puts its rate.
    termios tio{};
    const int fd = m_nSlave >= 0 ? m_nSlave : m_nMaster;
    if (fd < 0 || ::tcgetattr(fd, &tio) != 0) return -1;
    return BaudOfSpeed(static_cast<unsigned>(::cfgetospeed(&tio)));
}

void CPtyPort::Queue(const std::string& bytes)
{
    if (m_strPending.size() + bytes.size() > kMaxPending) m_strPending.clear();
    m_strPending += bytes;
}

bool CPtyPort::Flush()
{
    while (!m_strPending.empty()) {
        const ssize_t count = ::write(m_nMaster, m_strPending.data(), m_strPending.size());
        if (count > 0) {
            m_strPending.erase(0, static_cast<std::size_t>(count));
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        return false;
    }
    return true;
}

long CPtyPort::Read(char* buffer, std::size_t size)
{
    const ssize_t count = ::read(m_nMaster, buffer, size);
    if (count > 0) return static_cast<long>(count);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    // EIO means no slave is open; ours always is, so this is a real error.
    return count == 0 ? 0 : -1;
}

}  // namespace velmor
