// The per-thread notification sink of the asynchronous sockets: it maps handles to their socket
// objects and delivers socket events one at a time, in the order they were posted, as calls
// made from the event loop. It neither reads nor writes sockets; CAsyncSocket decides what an
// event means. It comes into being with the thread's first socket and goes with its last; all
// sockets of a thread live on the loop that was current when the first one was opened.
#pragma once

#include <deque>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "net/EventLoop.h"
#include "net/SocketTypes.h"

namespace omblor::net {

class CAsyncSocket;

class SocketDispatcher : public std::enable_shared_from_this<SocketDispatcher> {
  public:
    explicit SocketDispatcher(EventLoop& loop) : loop_(loop.GetLink()) {}

    // Posts one event (one FD_* bit) with its error code for `handle`, as the system does for
    // readiness. Each event is delivered from a later turn of the loop, also inside nested
    // loops. Does nothing when the thread has no socket.
    static void PostEvent(SOCKET handle, long event, int error);

    // Whether this thread has a dispatcher now (that is, at least one open socket).
    [[nodiscard]] static bool Exists();

  private:
    friend class CAsyncSocket;

    struct Event {
        SOCKET handle = INVALID_SOCKET;
        long event = 0;
        int error = 0;
        // Passing the marker takes one entry of `handle` out of the closed set.
        bool closeMarker = false;
    };

    static void Register(SOCKET handle, CAsyncSocket& socket);
    static void Unregister(SOCKET handle);

    void Enqueue(const Event& event);
    void DeliverOne();

    EventLoop::Link loop_;
    std::unordered_map<SOCKET, CAsyncSocket*> sockets_;
    // A multiset: a handle number the system hands out again may be closed a second time before
    // the first close's marker has passed.
    std::unordered_multiset<SOCKET> closed_;
    std::deque<Event> queue_;
};

}  // namespace omblor::net
