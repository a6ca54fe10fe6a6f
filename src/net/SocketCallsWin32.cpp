#include <sys/socket.h>

#include <cerrno>
#include <climits>

#include "net/SocketCalls.h"

namespace omblor::net::sys {

namespace {

::SOCKET Native(SOCKET handle) {
    return static_cast<::SOCKET>(handle);
}

// Winsock's handles are pointer-sized, but their values stay within 32 bits (so 32-bit and 64-bit
// processes can share them), and the socket layer keeps them as int. One that would not fit is
// closed and refused rather than cut short.
SOCKET Adopt(::SOCKET handle) {
    if (handle > static_cast<::SOCKET>(INT_MAX)) {
        ::closesocket(handle);
        ::WSASetLastError(WSAEMFILE);
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(handle);
}

int Length(std::size_t length) {
    return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

}  // namespace

// Winsock's numbers under the names the socket layer and its users test for.
int LastError() {
    const int error = ::WSAGetLastError();
    switch (error) {
        case 0:
            return 0;
        case WSAEWOULDBLOCK:
            return EWOULDBLOCK;
        case WSAEINPROGRESS:
            return EINPROGRESS;
        case WSAEALREADY:
            return EALREADY;
        case WSAEINTR:
            return EINTR;
        case WSAENOTSOCK:
            return ENOTSOCK;
        case WSAEBADF:
            return EBADF;
        case WSAEINVAL:
            return EINVAL;
        case WSAEFAULT:
            return EFAULT;
        case WSAEACCES:
            return EACCES;
        case WSAEMFILE:
            return EMFILE;
        case WSAEMSGSIZE:
            return EMSGSIZE;
        case WSAEAFNOSUPPORT:
            return EAFNOSUPPORT;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEADDRNOTAVAIL:
            return EADDRNOTAVAIL;
        case WSAENETDOWN:
            return ENETDOWN;
        case WSAENETUNREACH:
            return ENETUNREACH;
        case WSAENETRESET:
            return ENETRESET;
        case WSAECONNABORTED:
            return ECONNABORTED;
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAENOBUFS:
            return ENOBUFS;
        case WSAEISCONN:
            return EISCONN;
        case WSAENOTCONN:
            return ENOTCONN;
        case WSAESHUTDOWN:
            return EPIPE;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAEHOSTUNREACH:
            return EHOSTUNREACH;
        case WSANOTINITIALISED:
            return ENETDOWN;
        default:
            return error;  // Winsock's own number: still non-zero, still a failure
    }
}

SOCKET OpenSocket(int type) {
    const ::SOCKET handle = ::socket(AF_INET, type, 0);
    if (handle == ~::SOCKET{0}) return INVALID_SOCKET;
    u_long nonBlocking = 1;
    if (::ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
        const int error = ::WSAGetLastError();
        ::closesocket(handle);
        ::WSASetLastError(error);
        return INVALID_SOCKET;
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
    return Adopt(handle);
}

SOCKET AcceptSocket(SOCKET listener, sockaddr* address, socklen_t* addressLength) {
    // An accepted socket takes its listener's non-blocking mode and notifications.
    const ::SOCKET handle = ::accept(Native(listener), address, addressLength);
    if (handle == ~::SOCKET{0}) return INVALID_SOCKET;
    u_long nonBlocking = 1;
    ::ioctlsocket(handle, FIONBIO, &nonBlocking);
    return Adopt(handle);
}

void CloseSocket(SOCKET handle) {
    ::closesocket(Native(handle));
}

long Send(SOCKET handle, const void* buffer, std::size_t length, int flags) {
    return ::send(Native(handle), static_cast<const char*>(buffer), Length(length), flags);
}

long SendTo(SOCKET handle, const void* buffer, std::size_t length, int flags,
            const sockaddr* address, socklen_t addressLength) {
    return ::sendto(Native(handle), static_cast<const char*>(buffer), Length(length), flags,
                    address, addressLength);
}

long ReceiveFrom(SOCKET handle, void* buffer, std::size_t length, int flags, bool /*datagram*/,
                 sockaddr* address, socklen_t* addressLength) {
    // A datagram longer than the buffer fails with WSAEMSGSIZE and the rest of it is dropped.
    return ::recvfrom(Native(handle), static_cast<char*>(buffer), Length(length), flags, address,
                      addressLength);
}

int TakePendingError(SOCKET handle) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(Native(handle), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return LastError();
    }
    if (error == 0) return 0;
    ::WSASetLastError(error);
    return LastError();
}

ReadProbe ProbeReadable(SOCKET handle) {
    fd_set readable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    FD_SET(Native(handle), &readable);
    FD_SET(Native(handle), &failed);
    timeval now{0, 0};
    if (::select(0, &readable, nullptr, &failed, &now) <= 0) return {};
    const bool hasError = FD_ISSET(Native(handle), &failed) != 0;
    return {FD_ISSET(Native(handle), &readable) != 0 || hasError, hasError};
}

bool PeerClosedOrderly(SOCKET handle) {
    char byte = 0;
    return ::recv(Native(handle), &byte, 1, MSG_PEEK) == 0;
}

}  // namespace omblor::net::sys
