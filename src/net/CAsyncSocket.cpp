#include "net/CAsyncSocket.h"

#include <arpa/inet.h>

#include <cerrno>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "net/SocketCalls.h"
#include "net/SocketDispatcher.h"

namespace omblor::net {

namespace {

thread_local int t_lastError = 0;

int Normalised(int error) {
    return error == EAGAIN ? EWOULDBLOCK : error;
}

bool IsWouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

int CAsyncSocket::GetLastError() {
    return t_lastError;
}

void CAsyncSocket::SetLastError(int error) {
    t_lastError = error;
}

sockaddr_in CAsyncSocket::MakeAddress(std::uint32_t hostOrderAddress, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    return address;
}

CAsyncSocket::~CAsyncSocket() {
    if (m_hSocket != INVALID_SOCKET) CAsyncSocket::Close();
}

bool CAsyncSocket::Create(std::uint16_t port, int type, long events, std::string_view address) {
    if (m_hSocket != INVALID_SOCKET || (type != SOCK_STREAM && type != SOCK_DGRAM)) {
        SetLastError(EINVAL);
        return false;
    }
    sockaddr_in local = MakeAddress(INADDR_ANY, port);
    if (!address.empty()) {
        const std::string text(address);
        if (::inet_pton(AF_INET, text.c_str(), &local.sin_addr) != 1) {
            SetLastError(EINVAL);
            return false;
        }
    }
    if (EventLoop::Current() == nullptr) {
        SetLastError(ENETDOWN);  // no loop to deliver its events
        return false;
    }
    const SOCKET handle = sys::OpenSocket(type);
    if (handle == INVALID_SOCKET) {
        SetLastError(sys::LastError());
        return false;
    }
    Attach(handle, type, State::Open, events);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int error = sys::LastError();
        Close();
        SetLastError(error);
        return false;
    }
    return true;
}

void CAsyncSocket::Attach(SOCKET handle, int type, State state, long events) {
    m_hSocket = handle;
    type_ = type;
    state_ = state;
    readDone_ = false;
    sendError_ = 0;
    sendQueue_.Clear();
    SocketDispatcher::Register(handle, *this);
    watchMask_ = 0;
    watch_ = ScopedWatch(handle, 0, [this](int, unsigned ready) { OnReady(ready); });
    AsyncSelect(events);
}

bool CAsyncSocket::AsyncSelect(long events) {
    if (m_hSocket == INVALID_SOCKET) {
        SetLastError(ENOTSOCK);
        return false;
    }
    events_ = events;
    readArmed_ = true;
    writeArmed_ = (events & FD_WRITE) != 0 && (!IsStream() || state_ == State::Connected);
    UpdateWatch();
    return true;
}

void CAsyncSocket::UpdateWatch() {
    if (!watch_.Active()) return;
    // An unconnected or finished stream polls as hung up for ever; watching it would spin.
    const bool canRead =
        !IsStream() || ((state_ == State::Connected || state_ == State::Listening) && !readDone_);
    unsigned mask = 0;
    if (readArmed_ && canRead && (events_ & (FD_READ | FD_ACCEPT | FD_CLOSE)) != 0) mask |= kFdRead;
    if (state_ == State::Connecting || !sendQueue_.Empty() ||
        (writeArmed_ && (events_ & FD_WRITE) != 0)) {
        mask |= kFdWrite;
    }
    if (mask != watchMask_) {
        watchMask_ = mask;
        watch_.SetEvents(mask);
    }
}

bool CAsyncSocket::Listen(int backlog) {
    if (m_hSocket == INVALID_SOCKET) {
        SetLastError(ENOTSOCK);
        return false;
    }
    if (::listen(m_hSocket, backlog) != 0) {
        SetLastError(sys::LastError());
        return false;
    }
    state_ = State::Listening;
    readArmed_ = true;
    UpdateWatch();
    return true;
}

bool CAsyncSocket::Connect(const char* dotted, std::uint16_t port) {
    in_addr parsed{};
    if (dotted == nullptr || ::inet_pton(AF_INET, dotted, &parsed) != 1) {
        SetLastError(EINVAL);
        return false;
    }
    return Connect(ntohl(parsed.s_addr), port);
}

bool CAsyncSocket::Connect(std::uint32_t hostOrderAddress, std::uint16_t port) {
    const sockaddr_in peer = MakeAddress(hostOrderAddress, port);
    return ConnectHelper(reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

bool CAsyncSocket::Accept(CAsyncSocket& connected, sockaddr* address, socklen_t* addressLength) {
    if (m_hSocket == INVALID_SOCKET) {
        SetLastError(ENOTSOCK);
        return false;
    }
    if (connected.m_hSocket != INVALID_SOCKET) {
        SetLastError(EINVAL);
        return false;
    }
    const SOCKET handle = sys::AcceptSocket(m_hSocket, address, addressLength);
    const int error = handle == INVALID_SOCKET ? sys::LastError() : 0;
    readArmed_ = true;
    UpdateWatch();
    if (handle == INVALID_SOCKET) {
        SetLastError(Normalised(error));
        return false;
    }
    connected.Attach(handle, SOCK_STREAM, State::Connected, events_);
    return true;
}

void CAsyncSocket::Close() {
    if (m_hSocket == INVALID_SOCKET) return;
    const SOCKET handle = std::exchange(m_hSocket, INVALID_SOCKET);
    watch_.Reset();
    sys::CloseSocket(handle);
    // After the close, so that the closed-set entry covers every event posted for this handle.
    SocketDispatcher::Unregister(handle);
    watchMask_ = 0;
    state_ = State::Open;
    readArmed_ = false;
    writeArmed_ = false;
    readDone_ = false;
    sendError_ = 0;
    sendQueue_.Clear();
}

void CAsyncSocket::AfterRead(int result, int error) {
    if (result < 0) {
        SetLastError(Normalised(error));
        // A failed stream (reset, timed out) has nothing more to give; stop watching it.
        if (IsStream() && state_ == State::Connected && !IsWouldBlock(error)) readDone_ = true;
    }
    readArmed_ = true;
    UpdateWatch();
}

bool CAsyncSocket::UsableBuffer(const void* buffer, int length) const {
    if (m_hSocket == INVALID_SOCKET) {
        SetLastError(ENOTSOCK);
        return false;
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        SetLastError(EINVAL);
        return false;
    }
    return true;
}

int CAsyncSocket::Receive(void* buffer, int length, int flags) {
    // recvfrom without an address is recv; one path keeps the datagram and end-of-stream rules.
    return ReceiveFromHelper(buffer, length, nullptr, nullptr, flags);
}

int CAsyncSocket::ReceiveFromHelper(void* buffer, int length, sockaddr* address,
                                    socklen_t* addressLength, int flags) {
    if (!UsableBuffer(buffer, length)) return SOCKET_ERROR;
    if (address != nullptr && (addressLength == nullptr ||
                               *addressLength < static_cast<socklen_t>(sizeof(sockaddr_in)))) {
        SetLastError(EFAULT);
        return SOCKET_ERROR;
    }
    long n = sys::ReceiveFrom(m_hSocket, buffer, static_cast<std::size_t>(length), flags,
                              !IsStream(), address, address != nullptr ? addressLength : nullptr);
    int error = n < 0 ? sys::LastError() : 0;
    if (!IsStream() && n > length) {
        n = SOCKET_ERROR;
        error = EMSGSIZE;
    }
    if (n == 0 && length > 0 && IsStream() && state_ == State::Connected) readDone_ = true;
    AfterRead(static_cast<int>(n), error);
    return static_cast<int>(n);
}

int CAsyncSocket::Send(const void* buffer, int length, int flags) {
    return SendStream(buffer, length, flags, Queue::Copy);
}

int CAsyncSocket::SendBorrowed(std::span<const std::byte> bytes) {
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        SetLastError(EMSGSIZE);
        return SOCKET_ERROR;
    }
    return SendStream(bytes.data(), static_cast<int>(bytes.size()), 0, Queue::Borrow);
}

int CAsyncSocket::SendStream(const void* buffer, int length, int flags, Queue queue) {
    if (!UsableBuffer(buffer, length)) return SOCKET_ERROR;
    if (!IsStream()) return SendToHelper(buffer, length, nullptr, 0, flags);
    if (sendError_ != 0) {
        SetLastError(sendError_);
        return SOCKET_ERROR;
    }
    const std::span<const std::byte> bytes(static_cast<const std::byte*>(buffer),
                                           static_cast<std::size_t>(length));
    std::size_t sent = 0;
    // Only write directly when nothing is queued, or the bytes would overtake the queue.
    if (sendQueue_.Empty() && state_ != State::Connecting) {
        while (sent < bytes.size()) {
            const long n = sys::Send(m_hSocket, bytes.data() + sent, bytes.size() - sent, flags);
            const int sendError = n < 0 ? sys::LastError() : 0;
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && IsWouldBlock(sendError)) break;
            const int error = n < 0 ? sendError : EPIPE;
            SetLastError(error);
            // What went out is out; the caller sees the short count.
            return sent == 0 ? SOCKET_ERROR : static_cast<int>(sent);
        }
    }
    if (sent < bytes.size()) {
        if (queue == Queue::Borrow) {
            sendQueue_.AppendBorrowed(bytes.subspan(sent));
        } else {
            sendQueue_.Append(bytes.subspan(sent));
        }
        UpdateWatch();
    }
    return length;
}

int CAsyncSocket::SendToHelper(const void* buffer, int length, const sockaddr* address,
                               socklen_t addressLength, int flags) {
    if (!UsableBuffer(buffer, length)) return SOCKET_ERROR;
    const long n = sys::SendTo(m_hSocket, buffer, static_cast<std::size_t>(length), flags, address,
                               addressLength);
    if (n < 0) {
        const int error = sys::LastError();
        SetLastError(Normalised(error));
        if (IsWouldBlock(error) && !IsStream()) {
            writeArmed_ = true;
            UpdateWatch();
        }
        return SOCKET_ERROR;
    }
    return static_cast<int>(n);
}

bool CAsyncSocket::ConnectHelper(const sockaddr* address, socklen_t addressLength) {
    if (m_hSocket == INVALID_SOCKET) {
        SetLastError(ENOTSOCK);
        return false;
    }
    if (IsStream() && state_ != State::Open) {
        SetLastError(state_ == State::Connecting ? EALREADY : EISCONN);
        return false;
    }
    if (IsStream()) {
        // Watch for the outcome before asking: a refusal can come at once, and Winsock tells of
        // a finished attempt only a watch that was there when it finished.
        state_ = State::Connecting;
        UpdateWatch();
    }
    const int result = ::connect(m_hSocket, address, addressLength);
    const int error = result == 0 ? 0 : sys::LastError();
    if (!IsStream()) {
        // A datagram socket only records its peer; there is nothing to wait for.
        if (error != 0) SetLastError(error);
        return error == 0;
    }
    // EINTR leaves the attempt running in the background, just like EINPROGRESS.
    // Winsock says "would block" where BSD sockets say "in progress".
    if (error == EINPROGRESS || error == EINTR || error == EAGAIN || error == EWOULDBLOCK) {
        SetLastError(EWOULDBLOCK);
        return false;
    }
    // Finished at once either way. Callers wait for OnConnect, so it still comes.
    state_ = State::Open;
    if (error == 0) {
        state_ = State::Connected;
        readArmed_ = true;
        writeArmed_ = (events_ & FD_WRITE) != 0;
    }
    if ((events_ & FD_CONNECT) != 0) SocketDispatcher::PostEvent(m_hSocket, FD_CONNECT, error);
    UpdateWatch();
    if (error != 0) SetLastError(error);
    return error == 0;
}

bool CAsyncSocket::GetSockName(sockaddr_in& address) const {
    socklen_t length = sizeof address;
    if (m_hSocket == INVALID_SOCKET ||
        ::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        SetLastError(m_hSocket == INVALID_SOCKET ? ENOTSOCK : sys::LastError());
        return false;
    }
    return true;
}

std::uint16_t CAsyncSocket::LocalPort() const {
    sockaddr_in address{};
    return GetSockName(address) ? ntohs(address.sin_port) : 0;
}

void CAsyncSocket::OnReady(unsigned ready) {
    if ((ready & kFdWrite) != 0) {
        if (state_ == State::Connecting) {
            const int error = sys::TakePendingError(m_hSocket);
            if (error == 0) {
                state_ = State::Connected;
                readArmed_ = true;
                writeArmed_ = (events_ & FD_WRITE) != 0;
            } else {
                // Bytes sent ahead of a connection that never came will not go anywhere.
                state_ = State::Open;
                sendQueue_.Clear();
                sendError_ = error;
            }
            if ((events_ & FD_CONNECT) != 0) {
                SocketDispatcher::PostEvent(m_hSocket, FD_CONNECT, error);
            }
            if (state_ == State::Connected && !sendQueue_.Empty()) Flush();
        } else if (!sendQueue_.Empty()) {
            Flush();
        } else if (writeArmed_ && (events_ & FD_WRITE) != 0) {
            writeArmed_ = false;
            SocketDispatcher::PostEvent(m_hSocket, FD_WRITE, 0);
        }
    }
    if ((ready & kFdRead) != 0 && readArmed_) {
        // One event until the next read: a socket nobody reads must not keep the loop busy.
        readArmed_ = false;
        SocketDispatcher::PostEvent(m_hSocket, state_ == State::Listening ? FD_ACCEPT : FD_READ, 0);
    }
    UpdateWatch();
}

void CAsyncSocket::Flush() {
    while (!sendQueue_.Empty()) {
        const std::span<const std::byte> piece = sendQueue_.Front();
        const long n = sys::Send(m_hSocket, piece.data(), piece.size(), 0);
        const int error = n < 0 ? sys::LastError() : 0;
        if (n > 0) {
            sendQueue_.Consume(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && IsWouldBlock(error)) return;
        ReportSendFailure(n < 0 ? error : EPIPE);
        return;
    }
    // Drained: the next writable moment is worth an FD_WRITE to whoever asked for it.
    writeArmed_ = (events_ & FD_WRITE) != 0;
}

void CAsyncSocket::ReportSendFailure(int error) {
    sendQueue_.Clear();
    sendError_ = error;
    // The caller was told all its bytes were taken, so the loss must reach it as an event.
    long event = 0;
    if ((events_ & FD_READ) != 0) {
        event = FD_READ;
    } else if ((events_ & FD_CLOSE) != 0) {
        event = FD_CLOSE;
    } else if ((events_ & FD_WRITE) != 0) {
        event = FD_WRITE;
    }
    if (event != 0) SocketDispatcher::PostEvent(m_hSocket, event, error);
}

void CAsyncSocket::DeliverEvent(long event, int error) {
    switch (event) {
        case FD_READ:
        case FD_ACCEPT: {
            if (error == 0) {
                const sys::ReadProbe probe = sys::ProbeReadable(m_hSocket);
                if (!probe.readable) {
                    // Nothing to read after all: drop it, but hear of the next data.
                    readArmed_ = true;
                    UpdateWatch();
                    return;
                }
                if (probe.failed) error = sys::TakePendingError(m_hSocket);
                if (event == FD_READ && error == 0 && IsStream() && (events_ & FD_CLOSE) != 0) {
                    if (sys::PeerClosedOrderly(m_hSocket)) {
                        readDone_ = true;
                        UpdateWatch();
                        OnClose(0);
                        return;
                    }
                }
            }
            // Nothing may touch this object after a notification: it may have been deleted.
            if (event == FD_ACCEPT) {
                OnAccept(error);
            } else {
                OnReceive(error);
            }
            return;
        }
        case FD_WRITE:
            OnSend(error);
            return;
        case FD_OOB:
            OnOutOfBandData(error);
            return;
        case FD_CONNECT:
            OnConnect(error);
            return;
        case FD_CLOSE:
            OnClose(error);
            return;
        default:
            return;
    }
}

}  // namespace omblor::net
