// The baseline for the fleet benchmark: the same bytes sent from one process to COUNT receivers
// at once over loopback, each on its own address (FIRST, FIRST+1, ...), one non-blocking send
// loop and one receive loop polling every connection. Prints the seconds from the first connect
// to the last byte received.
//   raw_fanout FILE COUNT FIRST_ADDRESS PORT
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

sockaddr_in Address(std::uint32_t first, int i, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(first + static_cast<std::uint32_t>(i));
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

// Accepts COUNT connections and reads each to `length` bytes; writes one byte to `done` then.
int Receive(int count, std::uint32_t first, int port, std::size_t length, int ready, int done) {
    std::vector<pollfd> fds;
    for (int i = 0; i < count; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const int one = 1;
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        const sockaddr_in a = Address(first, i, port);
        if (::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 4) != 0)
            return 1;
        fds.push_back({s, POLLIN, 0});
    }
    if (::write(ready, "r", 1) != 1) return 1;
    std::vector<std::size_t> got(2 * fds.size(), 0);  // listeners, then their connections
    std::vector<char> sink(1 << 20);
    std::size_t finished = 0;
    while (finished < static_cast<std::size_t>(count)) {
        if (::poll(fds.data(), fds.size(), -1) < 0) return 1;
        const std::size_t listeners = static_cast<std::size_t>(count);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            if (i < listeners) {
                const int c = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_NONBLOCK);
                if (c >= 0) fds.push_back({c, POLLIN, 0});
                continue;
            }
            const auto n = ::read(fds[i].fd, sink.data(), sink.size());
            if (n <= 0) continue;
            got[i] += static_cast<std::size_t>(n);
            if (got[i] == length) {
                ++finished;
                fds[i].events = 0;
            }
        }
    }
    return ::write(done, "d", 1) == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    const int count = std::atoi(argv[2]);
    in_addr first{};
    if (::inet_pton(AF_INET, argv[3], &first) != 1 || count < 1) return 2;
    const int port = std::atoi(argv[4]);
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    int ready[2], done[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) return 2;
    const pid_t pid = ::fork();
    if (pid == 0) _exit(Receive(count, ntohl(first.s_addr), port, bytes.size(), ready[1], done[1]));
    char byte = 0;
    if (::read(ready[0], &byte, 1) != 1) return 1;

    const auto start = std::chrono::steady_clock::now();
    std::vector<pollfd> fds;
    for (int i = 0; i < count; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const sockaddr_in a = Address(ntohl(first.s_addr), i, port);
        ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        fds.push_back({s, POLLOUT, 0});
    }
    std::vector<std::size_t> sent(fds.size(), 0);
    for (std::size_t open = fds.size(); open > 0;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) return 1;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLOUT) == 0) continue;
            const auto n =
                ::send(fds[i].fd, bytes.data() + sent[i], bytes.size() - sent[i], MSG_NOSIGNAL);
            if (n < 0) continue;
            sent[i] += static_cast<std::size_t>(n);
            if (sent[i] == bytes.size()) {
                fds[i].events = 0;
                --open;
            }
        }
    }
    if (::read(done[0], &byte, 1) != 1) return 1;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    ::waitpid(pid, nullptr, 0);
    std::printf("%.6f\n", took.count());
    return 0;
}
