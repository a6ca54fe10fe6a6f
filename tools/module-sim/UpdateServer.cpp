#include "module-sim/UpdateServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace omblor::modulesim {

UpdateServer::UpdateServer(const SimOptions& options, Callbacks callbacks, int number)
    : options_(options),
      script_(Script::Build(options)),
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
    listen_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listen_.Valid()) return std::string("socket: ") + std::strerror(errno);
    // Tests start one simulator after another on the same port; many modules share one port.
    const int one = 1;
    ::setsockopt(listen_.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
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
    return std::nullopt;
}

void UpdateServer::OnAcceptable() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    platform::UniqueFd connection(::accept4(listen_.Get(), reinterpret_cast<sockaddr*>(&peer),
                                            &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection.Valid()) return;  // gone again before we took it, or out of descriptors
    // One connection: later ones wait in the backlog and are never served.
    acceptWatch_.SetEvents(0);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    if (callbacks_.on_connected) {
        callbacks_.on_connected(std::string(text) + ":" + std::to_string(ntohs(peer.sin_port)));
    }
    session_ = std::make_unique<ModuleExchange>(
        number_, std::move(connection), options_, script_, transcript_.Get(),
        [this](const SessionReport& report) { OnSessionEnded(report); });
    session_->Start();
}

void UpdateServer::OnSessionEnded(const SessionReport& report) {
    reports_.push_back(report);
    if (callbacks_.on_session_ended) callbacks_.on_session_ended(report);
}

void UpdateServer::Stop(Outcome outcome) {
    stopped_ = true;
    acceptWatch_.Reset();
    if (session_) session_->Stop(outcome);
}

}  // namespace omblor::modulesim
