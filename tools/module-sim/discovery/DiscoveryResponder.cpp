#include "module-sim/discovery/DiscoveryResponder.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace omblor::modulesim {

namespace {

using discovery::Ipv4Address;

constexpr std::size_t kMaxDatagram = 2048;
constexpr std::size_t kAckFrame = 10;

Ipv4Address AddressOf(const sockaddr_in& a) {
    return Ipv4Address::FromHostOrder(ntohl(a.sin_addr.s_addr));
}

std::string Describe(const sockaddr_in& a) {
    return AddressOf(a).Dotted() + ":" + std::to_string(ntohs(a.sin_port));
}

platform::UniqueFd OpenBound(const Ipv4Address& address, std::uint16_t port, std::string& error) {
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        error = std::string("socket: ") + std::strerror(errno);
        return {};
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address.HostOrder());
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        error = "cannot bind " + address.Dotted() + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        return {};
    }
    return fd;
}

// An acknowledgement names an interface by the last two bytes of its MAC, bit 7 of the first
// flipped when the tool judged its reply not to agree; either way it was heard.
std::uint16_t EntryKey(std::uint8_t first, std::uint8_t second) {
    return static_cast<std::uint16_t>(((first & 0x7FU) << 8) | second);
}

}  // namespace

std::string MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03ld",
                  static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000,
                  (now.tv_nsec / 1000) % 1000);
    return text;
}

DiscoveryResponder::DiscoveryResponder(const DiscoveryOptions& options,
                                       std::vector<SimulatedModule> modules, NetworkScope scope,
                                       Callbacks callbacks)
    : options_(options),
      modules_(std::move(modules)),
      scope_(scope),
      callbacks_(std::move(callbacks)) {
    datagrams_.resize(modules_.size());
    quiet_.resize(modules_.size(), 0);
    for (std::size_t i = 0; i < modules_.size(); ++i) Replace(i, modules_[i]);
}

void DiscoveryResponder::SetQuiet(std::size_t module, bool quiet) {
    quiet_.at(module) = quiet ? 1 : 0;
}

void DiscoveryResponder::Replace(std::size_t module, SimulatedModule changed) {
    modules_.at(module) = std::move(changed);
    const SimulatedModule& m = modules_[module];
    auto d = BuildReplyDatagram(m);
    if (options_.relay) d.insert(d.end(), m.source.octets.begin(), m.source.octets.end());
    datagrams_[module] = std::move(d);
}

DiscoveryResponder::~DiscoveryResponder() = default;

std::optional<std::string> DiscoveryResponder::Open() {
    std::string error;
    listen_ = OpenBound(options_.listen, options_.port, error);
    if (!listen_.Valid()) return error;
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listen_.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.sin_port);

    for (const auto& m : modules_) {
        const Ipv4Address from = options_.relay ? discovery::kRelayAddress : m.source;
        if (senders_.contains(from.HostOrder())) continue;
        auto fd = OpenBound(from, 0, error);
        if (!fd.Valid()) return error + " (add the address to lo first)";
        senders_.emplace(from.HostOrder(), std::move(fd));
    }
    listenWatch_ =
        net::ScopedWatch(listen_.Get(), net::kFdRead, [this](int, unsigned) { OnReadable(); });
    lastRefill_ = Clock::now();
    return std::nullopt;
}

void DiscoveryResponder::OnReadable() {
    // Drain: the tool's datagrams are few, but a stranger's burst must not starve the replies.
    for (int i = 0; i < 64; ++i) {
        std::uint8_t buffer[kMaxDatagram];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const auto got = ::recvfrom(listen_.Get(), buffer, sizeof buffer, 0,
                                    reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) return;
        OnDatagram(buffer, static_cast<std::size_t>(got), from);
    }
}

void DiscoveryResponder::OnDatagram(const std::uint8_t* data, std::size_t size,
                                    const sockaddr_in& from) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool request = bytes.size() >= 5 && bytes.starts_with("TRVK") && bytes[4] == 'R';
    const bool ack = bytes.size() >= kAckFrame && bytes.starts_with("TRV2") && bytes[4] == 'V' &&
                     (bytes.size() - kAckFrame) % 2 == 0;
    if ((!request && !ack) || !MayReplyTo(AddressOf(from), scope_)) {
        ++counts_.ignored;
        callbacks_.on_event("ignored " + std::to_string(size) + " bytes from " + Describe(from) +
                            " at " + MonotonicMs());
        return;
    }
    if (request) {
        ++counts_.requests;
        const std::string what = "request " + std::to_string(counts_.requests);
        callbacks_.on_event(what + " from " + Describe(from) + " at " + MonotonicMs());
        Answer(what, from, [](const SimulatedModule&) { return true; });
        return;
    }
    ++counts_.acknowledgements;
    const std::size_t entries = (size - kAckFrame) / 2;
    std::set<std::uint16_t> heard;
    int flagged = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        heard.insert(EntryKey(data[5 + 2 * i], data[6 + 2 * i]));
        flagged += (data[5 + 2 * i] & 0x80U) != 0 ? 1 : 0;
    }
    const std::string what = "acknowledgement " + std::to_string(counts_.acknowledgements);
    callbacks_.on_event(what + " from " + Describe(from) + " entries=" + std::to_string(entries) +
                        " flagged=" + std::to_string(flagged) + " at " + MonotonicMs());
    if (options_.answerAcks == AnswerAcks::All) {
        Answer(what, from, [](const SimulatedModule&) { return true; });
    } else if (options_.answerAcks == AnswerAcks::Missing) {
        Answer(what, from, [&heard](const SimulatedModule& m) {
            return !heard.contains(EntryKey(m.mac[4], m.mac[5]));
        });
    }
}

void DiscoveryResponder::Answer(const std::string& what, const sockaddr_in& to,
                                const std::function<bool(const SimulatedModule&)>& answers) {
    const int answer = nextAnswer_++;
    AnswerState& state = answers_[answer];
    state.what = what;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        if (quiet_[i] != 0 || !answers(modules_[i])) continue;
        scheduled_.push(Reply{now + modules_[i].delay, i, answer, to});
        ++state.left;
    }
    if (state.left == 0) {
        Finished(answer);
        return;
    }
    Pump();
}

int DiscoveryResponder::SocketFor(const SimulatedModule& module) const {
    const Ipv4Address from = options_.relay ? discovery::kRelayAddress : module.source;
    return senders_.at(from.HostOrder()).Get();
}

void DiscoveryResponder::Pump() {
    if (writable_.Active()) return;  // waiting for room in a send buffer
    const auto now = Clock::now();
    while (!scheduled_.empty() && scheduled_.top().due <= now) {
        ready_.push_back(scheduled_.top());
        scheduled_.pop();
    }
    // A bucket of at most 5 ms worth of replies: smooth, yet a late timer tick does not lose rate.
    const double burst = std::max(1.0, options_.rate / 200.0);
    if (options_.rate > 0) {
        const double elapsed = std::chrono::duration<double>(now - lastRefill_).count();
        tokens_ = std::min(burst, tokens_ + elapsed * options_.rate);
    }
    lastRefill_ = now;
    while (!ready_.empty() && (options_.rate == 0 || tokens_ >= 1.0)) {
        const Reply& reply = ready_.front();
        if (quiet_[reply.module] != 0) {
            const int answer = reply.answer;
            ready_.pop_front();
            if (--answers_[answer].left == 0) Finished(answer);
            continue;
        }
        const int fd = SocketFor(modules_[reply.module]);
        const auto& d = datagrams_[reply.module];
        const auto sent = ::sendto(fd, d.data(), d.size(), 0,
                                   reinterpret_cast<const sockaddr*>(&reply.to), sizeof reply.to);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
            // The loop holds its own copy of the callback, so the watch may end inside it.
            writable_ = net::ScopedWatch(fd, net::kFdWrite, [this](int, unsigned) {
                writable_.Reset();
                Pump();
            });
            return;
        }
        if (sent < 0) {
            ++counts_.failed;
        } else {
            ++counts_.replies;
            ++answers_[reply.answer].sent;
        }
        tokens_ -= 1.0;
        const int answer = reply.answer;
        ready_.pop_front();
        if (--answers_[answer].left == 0) Finished(answer);
    }
    if (!ready_.empty()) {
        pacer_ =
            net::ScopedTimer(std::chrono::milliseconds(1), net::Repeat::No, [this] { Pump(); });
    } else if (!scheduled_.empty()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(scheduled_.top().due - now);
        pacer_ = net::ScopedTimer(std::max(wait, std::chrono::milliseconds(1)), net::Repeat::No,
                                  [this] { Pump(); });
    }
}

void DiscoveryResponder::Finished(int answer) {
    const auto it = answers_.find(answer);
    callbacks_.on_event("answered " + it->second.what + ": " + std::to_string(it->second.sent) +
                        " replies, done at " + MonotonicMs());
    answers_.erase(it);
}

}  // namespace omblor::modulesim
