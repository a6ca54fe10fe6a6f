#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/SocketCalls.h"

namespace omblor::net::sys {

namespace {
// Every call must return at once whatever the socket's flags say, and a closed peer must not
// raise SIGPIPE.
constexpr int kNoWait = MSG_DONTWAIT | MSG_NOSIGNAL;

// A signal that arrives during a call interrupts it before anything moved; the call is simply
// made again. This is the one place that retries, so callers never see EINTR.
template <typename Call>
auto Uninterrupted(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}
}  // namespace

int LastError() {
    return errno;
}

SOCKET OpenSocket(int type) {
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

SOCKET AcceptSocket(SOCKET listener, sockaddr* address, socklen_t* addressLength) {
    return Uninterrupted(
        [&] { return ::accept4(listener, address, addressLength, SOCK_NONBLOCK | SOCK_CLOEXEC); });
}

void CloseSocket(SOCKET handle) {
    ::close(handle);
}

long Send(SOCKET handle, const void* buffer, std::size_t length, int flags) {
    return Uninterrupted([&] { return ::send(handle, buffer, length, flags | kNoWait); });
}

long SendTo(SOCKET handle, const void* buffer, std::size_t length, int flags,
            const sockaddr* address, socklen_t addressLength) {
    return Uninterrupted(
        [&] { return ::sendto(handle, buffer, length, flags | kNoWait, address, addressLength); });
}

long ReceiveFrom(SOCKET handle, void* buffer, std::size_t length, int flags, bool datagram,
                 sockaddr* address, socklen_t* addressLength) {
    // MSG_TRUNC makes a datagram report its real length, so a longer one shows as such.
    const int extra = datagram ? MSG_TRUNC : 0;
    return Uninterrupted([&] {
        return ::recvfrom(handle, buffer, length, flags | kNoWait | extra, address, addressLength);
    });
}

int TakePendingError(SOCKET handle) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

ReadProbe ProbeReadable(SOCKET handle) {
    pollfd probe{handle, POLLIN, 0};
    if (::poll(&probe, 1, 0) <= 0) return {};
    return {(probe.revents & (POLLIN | POLLERR | POLLHUP)) != 0, (probe.revents & POLLERR) != 0};
}

bool PeerClosedOrderly(SOCKET handle) {
    char byte = 0;
    return ::recv(handle, &byte, 1, MSG_PEEK | kNoWait) == 0;
}

}  // namespace omblor::net::sys
