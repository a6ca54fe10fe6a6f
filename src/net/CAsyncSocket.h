// The asynchronous IPv4 socket every network class of the program derives from: operations
// never wait, and outcomes come back later as virtual notifications called from the event loop
// of the thread (through SocketDispatcher), also while a modal loop is nested in a handler.
// It is not a stream abstraction: no buffering on the read side, no framing, no IPv6.
//
// Results: flags are true for success; data operations return a byte count or -1
// (SOCKET_ERROR). After a failure GetLastError() gives the errno value; a call that would have
// to wait fails with EWOULDBLOCK. Notifications receive 0 or an errno value.
//
// Receive events and re-arming: after a receive (or accept) event is posted, no further one is
// posted for the socket until it reads again. Each Receive / ReceiveFromHelper / Accept re-arms
// it, so when unread data remains a fresh event follows, in whichever loop runs next: a handler
// may read one datagram per call, and an OnReceive that arrives while its own handler is still
// busy (a nested modal loop) may return without reading, as long as the busy handler reads
// again once it is done, or someone calls AsyncSelect(). A readable socket that nobody reads
// therefore costs nothing. A stream whose Receive returned 0 (orderly close) or failed is never
// reported readable again.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "net/EventLoop.h"
#include "net/SendQueue.h"
#include "net/SocketTypes.h"

namespace omblor::net {

class CAsyncSocket {
  public:
    CAsyncSocket() = default;
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;
    // Closes the socket when one is open.
    virtual ~CAsyncSocket();

    // Opens a non-blocking IPv4 socket of `type` (SOCK_STREAM or SOCK_DGRAM), registers it with
    // the thread's dispatcher, requests `events`, and binds it to `port` (0: the system picks)
    // on `address` (dotted, empty: any local address). If binding fails the socket is closed
    // again and the bind's error stays the last error. Fails with EINVAL while a socket is open.
    bool Create(std::uint16_t port = 0, int type = SOCK_STREAM, long events = kAllSocketEvents,
                std::string_view address = {});
    // Requests `events` from now on and re-arms every one-shot event (see above).
    bool AsyncSelect(long events = kAllSocketEvents);
    bool Listen(int backlog = 5);
    // Connects to `dotted` or to a host-order address (10.1.2.3 is 0x0A010203); as ConnectHelper.
    bool Connect(const char* dotted, std::uint16_t port);
    bool Connect(std::uint32_t hostOrderAddress, std::uint16_t port);

    // --- Virtual operations, in this order ---

    // Takes the oldest pending connection into `connected` (which must have no socket), with
    // this socket's events. Fails with EWOULDBLOCK when none is pending.
    virtual bool Accept(CAsyncSocket& connected, sockaddr* address = nullptr,
                        socklen_t* addressLength = nullptr);
    // No notification for this socket is delivered afterwards, not even one already posted.
    // Bytes still queued by Send are dropped.
    virtual void Close();
    // More than 0: bytes read. 0: the peer closed the stream in an orderly way (or an empty
    // datagram). -1: nothing to read now (EWOULDBLOCK) or a failure. A datagram longer than
    // `length` fails with EMSGSIZE and is lost.
    virtual int Receive(void* buffer, int length, int flags = 0);
    // On a stream, takes the whole buffer: what the connection cannot take at once is copied
    // into a queue and written on writable events, so the result is `length` unless the
    // connection has already failed. A failure while the queue drains is reported as an event
    // carrying the error: OnReceive when FD_READ was requested, otherwise OnClose or OnSend,
    // and every later Send fails with it. Datagrams are sent at once or fail.
    virtual int Send(const void* buffer, int length, int flags = 0);
    // Send for one large buffer that outlives the socket (an image the owner holds): what the
    // connection cannot take at once is queued by reference instead of copied, so the bytes
    // must stay alive and unchanged until the socket is closed.
    int SendBorrowed(std::span<const std::byte> bytes);

    virtual void OnReceive(int /*errorCode*/) {}
    virtual void OnSend(int /*errorCode*/) {}
    // Never called: the event loop has no watch for urgent data.
    virtual void OnOutOfBandData(int /*errorCode*/) {}
    virtual void OnAccept(int /*errorCode*/) {}
    virtual void OnConnect(int /*errorCode*/) {}
    // Called once, when a stream that asked for FD_CLOSE is found at its end with nothing left.
    virtual void OnClose(int /*errorCode*/) {}

    // Does not wait: normally fails with EWOULDBLOCK and reports the outcome as OnConnect. A
    // connect that is refused or succeeds at once is reported through OnConnect as well, so a
    // caller that ignores the result still hears of it.
    virtual bool ConnectHelper(const sockaddr* address, socklen_t addressLength);
    // One datagram and its sender. `addressLength` must hold at least sizeof(sockaddr_in) on
    // entry (EFAULT otherwise, and nothing is read).
    virtual int ReceiveFromHelper(void* buffer, int length, sockaddr* address,
                                  socklen_t* addressLength, int flags = 0);
    virtual int SendToHelper(const void* buffer, int length, const sockaddr* address,
                             socklen_t addressLength, int flags = 0);

    // --- Accessors ---

    [[nodiscard]] SOCKET Handle() const { return m_hSocket; }
    bool GetSockName(sockaddr_in& address) const;
    // The bound local port in host order, 0 when none.
    [[nodiscard]] std::uint16_t LocalPort() const;
    // Bytes that Send accepted but the connection has not taken yet.
    [[nodiscard]] std::size_t PendingSendBytes() const { return sendQueue_.Size(); }

    // The error of this thread's last failed operation, in the role of WSAGetLastError.
    static int GetLastError();
    static void SetLastError(int error);
    // An IPv4 socket address (16 bytes, zero-filled) for a host-order address and port.
    static sockaddr_in MakeAddress(std::uint32_t hostOrderAddress, std::uint16_t port);

  protected:
    // Derived classes use the handle directly, e.g. for socket options.
    SOCKET m_hSocket = INVALID_SOCKET;

  private:
    enum class Queue { Copy, Borrow };
    // An open socket and a buffer that matches its length; otherwise sets the last error.
    [[nodiscard]] bool UsableBuffer(const void* buffer, int length) const;
    int SendStream(const void* buffer, int length, int flags, Queue queue);
    friend class SocketDispatcher;

    enum class State { Open, Connecting, Connected, Listening };

    // Takes `handle` into this object: registers it and watches it on the current loop.
    void Attach(SOCKET handle, int type, State state, long events);
    // Readiness from the loop: finishes a connect, drains the send queue, posts events.
    void OnReady(unsigned ready);
    // Called by the dispatcher for an event that passed the closed-handle rule.
    void DeliverEvent(long event, int error);
    void Flush();
    void ReportSendFailure(int error);
    void AfterRead(int result, int error);
    void UpdateWatch();
    [[nodiscard]] bool IsStream() const { return type_ == SOCK_STREAM; }

    ScopedWatch watch_;
    unsigned watchMask_ = 0;
    int type_ = 0;
    long events_ = 0;
    State state_ = State::Open;
    // One-shot arms: a read-type event may be posted / an FD_WRITE may be posted.
    bool readArmed_ = false;
    bool writeArmed_ = false;
    // The stream's read side is finished (orderly close seen, or a read failed).
    bool readDone_ = false;
    // The connection failed while the send queue drained; later Sends fail with it.
    int sendError_ = 0;
    SendQueue sendQueue_;
};

inline int WSAGetLastError() {
    return CAsyncSocket::GetLastError();
}

}  // namespace omblor::net
