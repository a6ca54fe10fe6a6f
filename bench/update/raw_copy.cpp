// The baseline for the update benchmark: the same bytes sent once over a loopback TCP
// connection, as fast as one send loop and one receive loop move them. Prints the seconds from
// the first byte sent to the last byte received.
//   raw_copy FILE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener, 1) != 0)
        return 2;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) _exit(1);
        char go = 0;
        if (::read(s, &go, 1) != 1) _exit(1);  // start together with the clock
        for (std::size_t sent = 0; sent < bytes.size();) {
            const auto n = ::send(s, bytes.data() + sent, bytes.size() - sent, 0);
            if (n <= 0) _exit(1);
            sent += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    const int c = ::accept(listener, nullptr, nullptr);
    std::vector<char> sink(1 << 20);
    const auto start = std::chrono::steady_clock::now();
    if (::write(c, "g", 1) != 1) return 1;
    std::size_t got = 0;
    while (got < bytes.size()) {
        const auto n = ::read(c, sink.data(), sink.size());
        if (n <= 0) return 1;
        got += static_cast<std::size_t>(n);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    ::waitpid(pid, nullptr, 0);
    std::printf("%.6f\n", took.count());
    return 0;
}
