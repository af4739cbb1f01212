#include "LineShare.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "MonitorLog.h"

namespace velmor {

namespace {

std::string PeerName(const sockaddr_storage& address)
{
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (address.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
        port = ntohs(v6->sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

}  // namespace

CLineShare::CLineShare(std::function<bool(std::string_view)> write) : m_write(std::move(write)) {}

CLineShare::~CLineShare()
{
    for (auto& client : m_clients) ::close(client->m_nFd);
    if (m_nListenFd >= 0) ::close(m_nListenFd);
}

bool CLineShare::Listen(const std::string& host, int port, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    error = "no address for " + host;
    for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 8) == 0) {
            sockaddr_storage bound{};
            socklen_t length = sizeof bound;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
            m_nBoundPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                                       : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
            m_nListenFd = fd;
            break;
        }
        error = std::string("cannot listen on ") + host + ":" + service + ": " + std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return m_nListenFd >= 0;
}

void CLineShare::AddPollFds(std::vector<pollfd>& fds) const
{
    if (m_nListenFd < 0) return;
    fds.push_back({m_nListenFd, POLLIN, 0});
    for (const auto& client : m_clients)
        fds.push_back({client->m_nFd, static_cast<short>(POLLIN | (client->m_strOutput.empty() ? 0 : POLLOUT)), 0});
}

void CLineShare::OnPoll(const std::vector<pollfd>& fds, std::size_t first)
{
    if (m_nListenFd < 0 || first >= fds.size()) return;
    for (std::size_t i = first + 1; i < fds.size(); ++i) {
        if (fds[i].revents == 0) continue;
        // Clients may have gone since the descriptors were gathered: find by fd.
        std::size_t index = 0;
        while (index < m_clients.size() && m_clients[index]->m_nFd != fds[i].fd) ++index;
        if (index == m_clients.size()) continue;
        CClient& client = *m_clients[index];
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!ReadFrom(client)) {
                Drop(index, "disconnected");
                continue;
            }
        }
        if ((fds[i].revents & POLLOUT) && !Flush(client)) Drop(index, "write failed");
    }
    if (fds[first].revents & POLLIN) Accept();
}

void CLineShare::Accept()
{
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(m_nListenFd, reinterpret_cast<sockaddr*>(&address), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN, or an error the next poll repeats
        const std::string peer = PeerName(address);
        if (m_clients.size() >= kMaxClients) {
            Log(LogLevel::Warning, "share: refused " + peer + ": already " + std::to_string(kMaxClients) + " clients");
            ::close(fd);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto client = std::make_unique<CClient>();
        client->m_nFd = fd;
        client->m_strPeer = peer;
        m_clients.push_back(std::move(client));
        Log(LogLevel::Info, "share: client " + peer + " connected (" + std::to_string(m_clients.size()) + " now)");
    }
}

bool CLineShare::ReadFrom(CClient& client)
{
    char buffer[4096];
    for (int rounds = 0; rounds < 16; ++rounds) {  // bounded: a flooding client cannot hold the loop
        const ssize_t count = ::recv(client.m_nFd, buffer, sizeof buffer, 0);
        if (count == 0) return false;
        if (count < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        for (ssize_t i = 0; i < count; ++i) {
            const char ch = buffer[i];
            if (ch == '\r' || ch == '\n') {
                if (client.m_bDiscarding) {
                    client.m_bDiscarding = false;
                    client.m_strInput.clear();
                    client.m_bLastEndedWithCr = false;
                    continue;
                }
                client.m_strInput += ch;
                const bool forwarded = HandleLine(client, client.m_strInput);
                client.m_bLastEndedWithCr = forwarded && ch == '\r';
                client.m_strInput.clear();
                continue;
            }
            if (client.m_bDiscarding) continue;
            if (client.m_strInput.size() >= kMaxSentence) {
                Log(LogLevel::Warning, "share: " + client.m_strPeer + " sent an over-long line; discarded");
                client.m_bDiscarding = true;
                client.m_strInput.clear();
                continue;
            }
            client.m_strInput += ch;
        }
    }
    return true;
}

std::string_view CLineShare::SentenceBody(std::string_view line)
{
    const auto dollar = line.find('$');
    if (dollar == std::string_view::npos) return {};
    // Only blanks may stand before the '$'.
    if (line.substr(0, dollar).find_first_not_of(" \t") != std::string_view::npos) return {};
    line.remove_prefix(dollar + 1);
    line = line.substr(0, line.find_first_of("*\r\n"));
    const auto first = line.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = line.find_last_not_of(' ');
    return line.substr(first, last - first + 1);
}

bool CLineShare::IsGlobalUnsubscribe(std::string_view line) { return SentenceBody(line) == "UNSL,XXXX,1"; }

bool CLineShare::HandleLine(CClient& client, std::string_view line)
{
    // The LF of a CR LF pair arrives as a line of its own and goes with it.
    if (line == "\n") {
        if (client.m_bLastEndedWithCr) m_write(line);
        return false;
    }
    if (SentenceBody(line).empty()) {
        if (line.size() > 1) Log(LogLevel::Debug, "share: " + client.m_strPeer + " sent a line that is no sentence");
        return false;
    }
    if (IsGlobalUnsubscribe(line)) {
        // Its terminator's LF, if any, follows as "\n": hold that back too.
        ++m_qwHeldBack;
        Log(LogLevel::Info, "share: " + client.m_strPeer + " asked to unsubscribe everything; not forwarded");
        return false;
    }
    ++m_qwForwarded;
    Log(LogLevel::Debug, "share: " + client.m_strPeer + " -> unit: " + std::string(SentenceBody(line)));
    if (!m_write(line)) Log(LogLevel::Warning, "share: could not write a client's sentence to the unit");
    return true;
}

bool CLineShare::Flush(CClient& client)
{
    while (!client.m_strOutput.empty()) {
        const ssize_t sent =
            ::send(client.m_nFd, client.m_strOutput.data(), client.m_strOutput.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        client.m_strOutput.erase(0, static_cast<std::size_t>(sent));
    }
    return true;
}

void CLineShare::OnObservation(const CObservation& observation)
{
    if (observation.m_event != LinkEvent::BytesReceived || observation.m_bytes.empty()) return;
    const std::string_view bytes(reinterpret_cast<const char*>(observation.m_bytes.data()), observation.m_bytes.size());
    for (std::size_t i = m_clients.size(); i-- > 0;) {
        CClient& client = *m_clients[i];
        if (client.m_strOutput.size() + bytes.size() > kMaxPendingOutput) {
            Drop(i, "too slow");
            continue;
        }
        client.m_strOutput.append(bytes);
        if (!Flush(client)) Drop(i, "write failed");
    }
}

void CLineShare::Drop(std::size_t index, const char* reason)
{
    ++m_qwDropped;
    Log(LogLevel::Info, "share: client " + m_clients[index]->m_strPeer + " " + reason);
    ::close(m_clients[index]->m_nFd);
    m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace velmor
