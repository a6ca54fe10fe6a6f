// The modules' side of a discovery search, on the event loop: receives the tool's request and
// acknowledgement datagrams on one UDP socket, and answers each by unicast to its sender with
// every simulated interface's reply, after that interface's delay. Replies leave from a socket
// bound to the interface's source address (or from 127.0.0.1 with a relay trailer), paced to a
// rate so a burst of thousands does not overrun the receiver; a full send buffer waits for the
// socket to become writable. It never broadcasts. Printing is the caller's business.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "module-sim/discovery/DiscoveryOptions.h"
#include "module-sim/discovery/NetworkScope.h"
#include "module-sim/discovery/SimulatedModule.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::modulesim {

class DiscoveryResponder {
  public:
    struct Counters {
        int requests = 0;
        int acknowledgements = 0;
        int replies = 0;
        // Sends the system refused for good (not a full buffer, which is retried).
        int failed = 0;
        // Datagrams that were neither a request nor an acknowledgement, or whose sender we may
        // not answer.
        int ignored = 0;
    };
    struct Callbacks {
        // One line for the log, e.g. "request 1 from 10.77.0.9:20035 at 1234.567".
        std::function<void(const std::string&)> on_event;
    };

    DiscoveryResponder(const DiscoveryOptions& options, std::vector<SimulatedModule> modules,
                       NetworkScope scope, Callbacks callbacks);
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;
    ~DiscoveryResponder();

    // Binds the receiving socket and one sending socket per source address. Returns the reason
    // when it cannot.
    std::optional<std::string> Open();
    [[nodiscard]] std::uint16_t Port() const { return port_; }
    [[nodiscard]] const Counters& Counts() const { return counts_; }
    // Replies scheduled or waiting for their turn.
    [[nodiscard]] std::size_t Pending() const { return scheduled_.size() + ready_.size(); }

    // A module that reboots answers nothing, not even a reply already due, until it is back.
    void SetQuiet(std::size_t module, bool quiet);
    // Its reply from now on (a new application name); it must keep its source address.
    void Replace(std::size_t module, SimulatedModule changed);

  private:
    using Clock = std::chrono::steady_clock;
    struct Reply {
        Clock::time_point due;
        std::size_t module = 0;
        int answer = 0;  // which request or acknowledgement it answers
        sockaddr_in to{};
        bool operator>(const Reply& other) const { return due > other.due; }
    };
    struct AnswerState {
        std::string what;
        int left = 0;
        int sent = 0;
    };

    void OnReadable();
    void OnDatagram(const std::uint8_t* data, std::size_t size, const sockaddr_in& from);
    // Queues the replies of the modules for which `answers(module)` holds.
    void Answer(const std::string& what, const sockaddr_in& to,
                const std::function<bool(const SimulatedModule&)>& answers);
    // Sends what is due and the rate allows, then arms the timer (or the writable watch).
    void Pump();
    void Finished(int answer);
    int SocketFor(const SimulatedModule& module) const;

    const DiscoveryOptions& options_;
    std::vector<SimulatedModule> modules_;
    std::vector<std::vector<std::uint8_t>> datagrams_;
    std::vector<char> quiet_;  // by module
    NetworkScope scope_;
    Callbacks callbacks_;

    platform::UniqueFd listen_;
    net::ScopedWatch listenWatch_;
    std::uint16_t port_ = 0;
    // Sending sockets by source address (host order); one bound to 127.0.0.1 when relaying.
    std::map<std::uint32_t, platform::UniqueFd> senders_;

    std::priority_queue<Reply, std::vector<Reply>, std::greater<>> scheduled_;
    std::deque<Reply> ready_;
    std::map<int, AnswerState> answers_;
    int nextAnswer_ = 1;
    double tokens_ = 0;
    Clock::time_point lastRefill_{};
    net::ScopedTimer pacer_;
    net::ScopedWatch writable_;
    Counters counts_;
};

// Milliseconds of the monotonic clock, the one every process of the machine shares, so a
// benchmark can line these times up with its own.
[[nodiscard]] std::string MonotonicMs();

}  // namespace omblor::modulesim
