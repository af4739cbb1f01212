#pragma once
// One TCP connection to a serial-port server, made without ever blocking the
// caller longer than it asks: the host name is looked up on a helper thread
// (the resolver has no time-out of its own), the connect is non-blocking and
// its progress is polled. Reads and writes are non-blocking too; a connection
// that the far end closed or reset is remembered as hung up.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct addrinfo;

namespace velmor {

// "tcp://HOST:PORT" split into its parts; HOST may be a name, an IPv4
// address or an IPv6 address in brackets.
struct CNetAddress {
    std::string m_strScheme;  // lower case, without "://"
    std::string m_strHost;
    int m_nPort = 0;
};
// False when |text| is not SCHEME://HOST:PORT with a port from 1 to 65535.
bool ParseNetAddress(const std::string& text, CNetAddress& address);

class CNetConnection {
public:
    enum class State { Idle, Resolving, Connecting, Connected, Failed };
    enum class Failure { None, HostUnknown, Refused, NoAnswer, Other };

    CNetConnection() = default;
    ~CNetConnection();
    CNetConnection(const CNetConnection&) = delete;
    CNetConnection& operator=(const CNetConnection&) = delete;

    // Starts looking up |host| and connecting to |port|; never waits. The
    // attempt fails with NoAnswer once |budgetMs| have passed since Start.
    void Start(const std::string& host, int port, int budgetMs);
    // Advances the attempt, waiting at most |timeoutMs| (0: just look).
    State Poll(int timeoutMs);
    // Start and Poll until connected or failed.
    bool Connect(const std::string& host, int port, int budgetMs);

    State GetState() const { return m_state; }
    Failure GetFailure() const { return m_failure; }
    // The system's words for an Other failure.
    const std::string& FailureDetail() const { return m_strDetail; }

    // Bytes received: the count, 0 when none are waiting, -1 when the
    // connection is gone (then IsHungUp()).
    long Receive(std::uint8_t* buffer, std::size_t size);
    // Sends what fits now without waiting: the count, -1 when gone.
    long SendSome(const std::uint8_t* data, std::size_t size);
    // Sends everything or gives up after |timeoutMs|.
    bool SendAll(const std::uint8_t* data, std::size_t size, int timeoutMs);
    // Waits up to |timeoutMs| for bytes to read; true when some (or a hang-up) wait.
    bool WaitReadable(int timeoutMs);
    // Drops every byte waiting to be read.
    void DiscardInput();

    bool IsHungUp() const { return m_bHungUp; }
    void Close();

private:
    struct CLookup;
    bool TryNextAddress();
    void Fail(Failure failure, int error = 0);
    void MarkHungUp() { m_bHungUp = true; }

    State m_state = State::Idle;
    Failure m_failure = Failure::None;
    std::string m_strDetail;
    int m_nFd = -1;
    bool m_bHungUp = false;
    bool m_bRefused = false;  // some address refused: the answer if none works
    int m_nPort = 0;
    std::int64_t m_nDeadlineMs = 0;
    std::shared_ptr<CLookup> m_lookup;
    addrinfo* m_pAddresses = nullptr;
    const addrinfo* m_pNext = nullptr;
};

}  // namespace velmor
