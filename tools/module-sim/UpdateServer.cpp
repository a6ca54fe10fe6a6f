#include "module-sim/UpdateServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace omblor::modulesim {

UpdateServer::UpdateServer(const SimOptions& options, Callbacks callbacks, int number)
    : options_(options),
      plain_(options.WithoutFaults()),
      script_(Script::Build(options)),
      plainScript_(Script::Build(plain_)),
      callbacks_(std::move(callbacks)),
      number_(number) {}

UpdateServer::~UpdateServer() = default;

std::optional<std::string> UpdateServer::Listen() {
    if (!options_.transcript.empty()) {
        transcript_.Reset(
            ::open(options_.transcript.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!transcript_.Valid()) {
            return "cannot open " + options_.transcript + ": " + std::strerror(errno);
        }
    }
    return OpenListener();
}

std::optional<std::string> UpdateServer::OpenListener() {
    listen_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listen_.Valid()) return std::string("socket: ") + std::strerror(errno);
    // Tests start one simulator after another on the same port; many modules share one port.
    const int one = 1;
    ::setsockopt(listen_.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_ != 0 ? port_ : options_.port);
    if (::inet_pton(AF_INET, options_.address.c_str(), &address.sin_addr) != 1) {
        return "invalid address '" + options_.address + "'";
    }
    if (::bind(listen_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": " +
               std::strerror(errno);
    }
    if (::listen(listen_.Get(), 4) != 0) return std::string("listen: ") + std::strerror(errno);
    socklen_t length = sizeof address;
    ::getsockname(listen_.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptWatch_ =
        net::ScopedWatch(listen_.Get(), net::kFdRead, [this](int, unsigned) { OnAcceptable(); });
    // Served out, or back from a reboot while the connection that asked for it is still open:
    // later connections wait in the backlog.
    if (reports_.size() >= options_.Connections() || (session_ && !session_->IsFinished()))
        acceptWatch_.SetEvents(0);
    return std::nullopt;
}

void UpdateServer::OnAcceptable() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    platform::UniqueFd connection(::accept4(listen_.Get(), reinterpret_cast<sockaddr*>(&peer),
                                            &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection.Valid()) return;  // gone again before we took it, or out of descriptors
    // One connection at a time: the next waits in the backlog until this one has ended.
    acceptWatch_.SetEvents(0);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    if (callbacks_.on_connected) {
        callbacks_.on_connected(std::string(text) + ":" + std::to_string(ntohs(peer.sin_port)));
    }
    const bool faulty = !options_.faulty || reports_.size() < *options_.faulty;
    std::function<void()> onReboot;
    if (options_.discoverable == Discoverable::Yes) onReboot = [this] { Reboot(); };
    session_ = std::make_unique<ModuleExchange>(
        number_, std::move(connection), faulty ? options_ : plain_, faulty ? script_ : plainScript_,
        transcript_.Get(), [this](const SessionReport& report) { OnSessionEnded(report); },
        std::move(onReboot));
    session_->Start();
}

void UpdateServer::OnSessionEnded(const SessionReport& report) {
    reports_.push_back(report);
    reports_.back().connection = static_cast<int>(reports_.size());
    if (callbacks_.on_session_ended) callbacks_.on_session_ended(reports_.back());
    // While it reboots it has no listening socket; the reboot's end opens one.
    if (!stopped_ && listen_.Valid() && reports_.size() < options_.Connections())
        acceptWatch_.SetEvents(net::kFdRead);
}

void UpdateServer::Reboot() {
    // Nobody home: a connection is refused, a search goes unanswered. The connection that
    // asked for it still gets its last line.
    acceptWatch_.Reset();
    listen_.Reset();
    if (callbacks_.on_discovery) callbacks_.on_discovery(std::nullopt);
    rebootTimer_ = net::ScopedTimer(options_.rebootTime, net::Repeat::No, [this] {
        rebootTimer_ = net::ScopedTimer();
        if (const auto error = OpenListener()) {
            std::fprintf(stderr, "module-sim: after the reboot: %s\n", error->c_str());
        }
        if (callbacks_.on_discovery) callbacks_.on_discovery(options_.ApplicationAfter());
    });
}

bool UpdateServer::Done() const {
    return stopped_ || reports_.size() >= options_.Connections();
}

bool UpdateServer::Passed() const {
    return reports_.size() == options_.Connections() &&
           std::ranges::all_of(reports_, &SessionReport::Passed);
}

void UpdateServer::Stop(Outcome outcome) {
    stopped_ = true;
    acceptWatch_.Reset();
    rebootTimer_.Stop();
    if (session_) session_->Stop(outcome);
}

}  // namespace omblor::modulesim
