#pragma once
// Re-serves the unit's line as a raw TCP stream. Every byte the unit sends
// goes to every client; what a client sends reaches the unit one whole
// sentence at a time, so commands from different clients never interleave.
// The global unsubscribe a desktop program sends around its setup dialogs
// and at exit is held back: the monitor's own subscriptions must go on.
//
// Nothing a client does may stall the monitor: sockets are non-blocking,
// each client's pending output is capped and a client that falls that far
// behind is dropped, over-long input lines are discarded, and the number of
// clients is capped.

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "observe/Observation.h"

namespace velmor {

class CLineShare : public IUnitObserver {
public:
    // |write| sends one framed sentence to the unit; false when it failed.
    explicit CLineShare(std::function<bool(std::string_view)> write);
    ~CLineShare() override;
    CLineShare(const CLineShare&) = delete;
    CLineShare& operator=(const CLineShare&) = delete;

    // Binds and listens on |host|:|port| (host empty: every address).
    bool Listen(const std::string& host, int port, std::string& error);
    // The port actually bound (useful after asking for port 0).
    int BoundPort() const { return m_nBoundPort; }

    // The descriptors to wait on; |fds| is appended to.
    void AddPollFds(std::vector<pollfd>& fds) const;
    // Handles whatever poll() reported for the descriptors AddPollFds gave,
    // which start at |fds|[first].
    void OnPoll(const std::vector<pollfd>& fds, std::size_t first);

    // BytesReceived goes out to every client.
    void OnObservation(const CObservation& observation) override;

    std::size_t ClientCount() const { return m_clients.size(); }
    std::uint64_t ForwardedSentences() const { return m_qwForwarded; }
    std::uint64_t HeldBackSentences() const { return m_qwHeldBack; }
    std::uint64_t DroppedClients() const { return m_qwDropped; }

    static constexpr std::size_t kMaxClients = 16;
    // A client this far behind the unit's output is dropped.
    static constexpr std::size_t kMaxPendingOutput = 64 * 1024;
    // Longer than any sentence the unit takes; longer input is discarded up
    // to its line end.
    static constexpr std::size_t kMaxSentence = 512;

    // The body between '$' and '*' (or the line end), trimmed; empty for a
    // line that is no sentence.
    static std::string_view SentenceBody(std::string_view line);
    static bool IsGlobalUnsubscribe(std::string_view line);

private:
    struct CClient {
        int m_nFd = -1;
        std::string m_strPeer;
        std::string m_strInput;
        std::string m_strOutput;
        bool m_bDiscarding = false;
        bool m_bLastEndedWithCr = false;
    };

    void Accept();
    // False when the client is to be dropped.
    bool ReadFrom(CClient& client);
    bool Flush(CClient& client);
    // True when the line went to the unit.
    bool HandleLine(CClient& client, std::string_view line);
    void Drop(std::size_t index, const char* reason);

    std::function<bool(std::string_view)> m_write;
    int m_nListenFd = -1;
    int m_nBoundPort = 0;
    std::vector<std::unique_ptr<CClient>> m_clients;
    std::uint64_t m_qwForwarded = 0;
    std::uint64_t m_qwHeldBack = 0;
    std::uint64_t m_qwDropped = 0;
};

}  // namespace velmor
