// module-sim: a simulated module on the project's own event loop. See --help and README.md.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ModuleSession.h"
#include "SimOptions.h"
#include "net/PollEventLoop.h"
#include "net/UniqueFd.h"

using namespace omblor;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string message;
    const auto parsed = sim::ParseSimOptions(args, message);
    if (!parsed) {
        const bool help = message.rfind("usage:", 0) == 0;
        std::fputs(message.c_str(), help ? stdout : stderr);
        if (!help) std::fputc('\n', stderr);
        return help ? 0 : 2;
    }
    const sim::SimOptions& options = *parsed;

    net::PollEventLoop loop;
    net::EventLoop::SetCurrent(&loop);

    net::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options.port);
    ::inet_pton(AF_INET, options.address.c_str(), &address.sin_addr);
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 4) != 0) {
        std::perror("module-sim: cannot listen");
        return 2;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("listening %s:%u\n", options.address.c_str(), ntohs(address.sin_port));
    std::fflush(stdout);

    std::FILE* transcript = options.transcript.empty() ? nullptr : std::fopen(options.transcript.c_str(), "wb");
    std::unique_ptr<sim::ModuleSession> session;
    int served = 0;
    bool allScripted = true;
    bool done = false;
    bool timedOut = false;

    net::ScopedWatch accepting;
    accepting = net::ScopedWatch(listener.Get(), net::kFdRead, [&](int, unsigned) {
        if (session) return;  // one connection at a time; the next waits in the backlog
        net::UniqueFd connection(::accept4(listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!connection.Valid()) return;
        accepting.SetEvents(0);
        session = std::make_unique<sim::ModuleSession>(
            std::move(connection), options, transcript, [&](const sim::SessionResult& r) {
                ++served;
                allScripted = allScripted && r.scriptedEnd;
                std::printf("result %s %s\n", r.scriptedEnd ? "ok" : "unexpected", r.summary.c_str());
                std::fflush(stdout);
                // The session is still on the stack; let it go on the next turn.
                loop.Post([&] {
                    session.reset();
                    if (served >= options.connections) {
                        done = true;
                    } else {
                        accepting.SetEvents(net::kFdRead);
                    }
                });
            });
    });
    net::ScopedTimer limit(std::chrono::seconds(options.timeoutSeconds), net::Repeat::No, [&] {
        timedOut = true;
        done = true;
    });
    loop.RunUntil([&] { return done; });
    session.reset();
    if (transcript != nullptr) std::fclose(transcript);
    if (timedOut) {
        std::printf("result timeout served=%d\n", served);
        return 1;
    }
    return allScripted ? 0 : 1;
}
