#include "platform/NetConnection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace velmor {

namespace {

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int SendFlags()
{
#ifdef MSG_NOSIGNAL
    return MSG_NOSIGNAL;
#else
    return 0;
#endif
}

bool IsWouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

bool ParseNetAddress(const std::string& text, CNetAddress& address)
{
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos || scheme == 0) return false;
    std::string rest = text.substr(scheme + 3);
    std::string host;
    std::string port;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos) return false;
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        // An IPv6 address needs its brackets, or its last group reads as the port.
        if (host.find(':') != std::string::npos) return false;
    }
    if (host.empty() || port.empty() || port.size() > 5) return false;
    int number = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > 65535) return false;
    address.m_strScheme = Lower(text.substr(0, scheme));
    address.m_strHost = host;
    address.m_nPort = number;
    return true;
}

// The result of a name lookup made on a helper thread. The thread and the
// connection share it, so that a connection closed during a slow lookup
// need not wait for the thread.
struct CNetConnection::CLookup {
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_bDone = false;
    int m_nResult = 0;
    addrinfo* m_pResult = nullptr;

    ~CLookup()
    {
        if (m_pResult != nullptr) ::freeaddrinfo(m_pResult);
    }
};

CNetConnection::~CNetConnection() { Close(); }

void CNetConnection::Close()
{
    if (m_nFd >= 0) ::close(m_nFd);
    m_nFd = -1;
    if (m_pAddresses != nullptr) ::freeaddrinfo(m_pAddresses);
    m_pAddresses = nullptr;
    m_pNext = nullptr;
    m_lookup.reset();
    m_state = State::Idle;
    m_bHungUp = false;
    m_bRefused = false;
}

void CNetConnection::Fail(Failure failure, int error)
{
    if (m_nFd >= 0) ::close(m_nFd);
    m_nFd = -1;
    m_state = State::Failed;
    m_failure = failure;
    m_strDetail = error != 0 ? std::strerror(error) : "";
}

void CNetConnection::Start(const std::string& host, int port, int budgetMs)
{
    Close();
    m_failure = Failure::None;
    m_strDetail.clear();
    m_nPort = port;
    m_nDeadlineMs = NowMs() + std::max(budgetMs, 0);
    const std::string service = std::to_string(port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* result = nullptr;
    // An address written as numbers needs no name service: no thread.
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &result) == 0) {
        m_pAddresses = result;
        m_pNext = result;
        TryNextAddress();
        return;
    }

    auto lookup = std::make_shared<CLookup>();
    m_lookup = lookup;
    m_state = State::Resolving;
    try {
        std::thread([lookup, host, service] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* found = nullptr;
            const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
            std::lock_guard<std::mutex> lock(lookup->m_mutex);
            lookup->m_nResult = rc;
            lookup->m_pResult = rc == 0 ? found : nullptr;
            lookup->m_bDone = true;
            lookup->m_done.notify_all();
        }).detach();
    } catch (const std::exception&) {
        m_lookup.reset();
        Fail(Failure::Other, EAGAIN);
    }
}

bool CNetConnection::TryNextAddress()
{
    int lastError = 0;
    while (m_pNext != nullptr) {
        const addrinfo* address = m_pNext;
        m_pNext = m_pNext->ai_next;
        int fd = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        const int flags = ::fcntl(fd, F_GETFL, 0);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
            lastError = errno;
            ::close(fd);
            continue;
        }
        int one = 1;
        // Sentences are short and the unit answers them: send each at once.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
#ifdef SO_NOSIGPIPE
        ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
        if (::connect(fd, address->ai_addr, address->ai_addrlen) == 0) {
            m_nFd = fd;
            m_state = State::Connected;
            return true;
        }
        if (errno == EINPROGRESS || errno == EINTR) {
            m_nFd = fd;
            m_state = State::Connecting;
            return true;
        }
        lastError = errno;
        if (lastError == ECONNREFUSED) m_bRefused = true;
        ::close(fd);
    }
    if (m_bRefused)
        Fail(Failure::Refused);
    else if (lastError == ETIMEDOUT)
        Fail(Failure::NoAnswer);
    else
        Fail(Failure::Other, lastError);
    return false;
}

CNetConnection::State CNetConnection::Poll(int timeoutMs)
{
    const std::int64_t until = NowMs() + std::max(timeoutMs, 0);
    if (m_state == State::Resolving) {
        std::shared_ptr<CLookup> lookup = m_lookup;
        std::unique_lock<std::mutex> lock(lookup->m_mutex);
        const std::int64_t waitMs = std::max<std::int64_t>(0, std::min(until, m_nDeadlineMs) - NowMs());
        lookup->m_done.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return lookup->m_bDone; });
        if (!lookup->m_bDone) {
            if (NowMs() >= m_nDeadlineMs) {
                lock.unlock();
                m_lookup.reset();
                Fail(Failure::NoAnswer);
            }
            return m_state;
        }
        const int result = lookup->m_nResult;
        m_pAddresses = lookup->m_pResult;
        lookup->m_pResult = nullptr;
        lock.unlock();
        m_lookup.reset();
        if (result != 0 || m_pAddresses == nullptr) {
            Fail(result == EAI_SYSTEM || result == EAI_MEMORY ? Failure::Other : Failure::HostUnknown);
            return m_state;
        }
        m_pNext = m_pAddresses;
        if (!TryNextAddress()) return m_state;
    }
    while (m_state == State::Connecting) {
        const std::int64_t now = NowMs();
        const std::int64_t waitMs = std::max<std::int64_t>(0, std::min(until, m_nDeadlineMs) - now);
        pollfd pfd{m_nFd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(waitMs, INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            Fail(Failure::Other, errno);
            break;
        }
        if (ready > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(m_nFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
            if (error == 0) {
                m_state = State::Connected;
                break;
            }
            if (error == ECONNREFUSED) m_bRefused = true;
            ::close(m_nFd);
            m_nFd = -1;
            if (error == ETIMEDOUT && m_pNext == nullptr && !m_bRefused) {
                Fail(Failure::NoAnswer);
                break;
            }
            if (!TryNextAddress()) break;
            continue;
        }
        if (NowMs() >= m_nDeadlineMs) {
            Fail(Failure::NoAnswer);
            break;
        }
        if (NowMs() >= until) break;
    }
    return m_state;
}

bool CNetConnection::Connect(const std::string& host, int port, int budgetMs)
{
    Start(host, port, budgetMs);
    while (m_state == State::Resolving || m_state == State::Connecting) Poll(budgetMs);
    return m_state == State::Connected;
}

long CNetConnection::Receive(std::uint8_t* buffer, std::size_t size)
{
    if (m_state != State::Connected || m_bHungUp || buffer == nullptr) return -1;
    if (size == 0) return 0;
    if (size > static_cast<std::size_t>(LONG_MAX)) size = static_cast<std::size_t>(LONG_MAX);
    const ssize_t count = ::recv(m_nFd, buffer, size, 0);
    if (count > 0) return static_cast<long>(count);
    if (count < 0 && IsWouldBlock(errno)) return 0;
    // End of stream, a reset or any other error: the server is gone.
    MarkHungUp();
    return -1;
}

long CNetConnection::SendSome(const std::uint8_t* data, std::size_t size)
{
    if (m_state != State::Connected || m_bHungUp) return -1;
    if (size == 0) return 0;
    if (data == nullptr) return -1;
    if (size > static_cast<std::size_t>(LONG_MAX)) size = static_cast<std::size_t>(LONG_MAX);
    const ssize_t count = ::send(m_nFd, data, size, SendFlags());
    if (count >= 0) return static_cast<long>(count);
    if (IsWouldBlock(errno)) return 0;
    MarkHungUp();
    return -1;
}

bool CNetConnection::SendAll(const std::uint8_t* data, std::size_t size, int timeoutMs)
{
    const std::int64_t deadline = NowMs() + std::max(timeoutMs, 0);
    std::size_t done = 0;
    while (done < size) {
        const long count = SendSome(data + done, size - done);
        if (count < 0) return false;
        done += static_cast<std::size_t>(count);
        if (done == size) break;
        const std::int64_t left = deadline - NowMs();
        if (left <= 0) return false;
        pollfd pfd{m_nFd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            MarkHungUp();
            return false;
        }
    }
    return true;
}

bool CNetConnection::WaitReadable(int timeoutMs)
{
    if (m_state != State::Connected || m_bHungUp) return true;
    pollfd pfd{m_nFd, POLLIN, 0};
    return ::poll(&pfd, 1, std::max(timeoutMs, 0)) > 0;
}

void CNetConnection::DiscardInput()
{
    std::uint8_t buffer[4096];
    // Bounded, so that a server that never stops sending cannot hold us here.
    for (int i = 0; i < 256; ++i)
        if (Receive(buffer, sizeof buffer) <= 0) break;
}

}  // namespace velmor
