#include "net/SocketDispatcher.h"

#include "net/CAsyncSocket.h"
#include "net/EventLoop.h"

namespace omblor::net {

namespace {
// Shared so that a delivery in progress keeps its dispatcher alive when the handler closes the
// thread's last socket; the loop's pending calls only hold weak links.
thread_local std::shared_ptr<SocketDispatcher> t_dispatcher;
}  // namespace

bool SocketDispatcher::Exists() {
    return t_dispatcher != nullptr;
}

void SocketDispatcher::Register(SOCKET handle, CAsyncSocket& socket) {
    // Create() refuses to open a socket while no loop is current.
    if (!t_dispatcher) t_dispatcher = std::make_shared<SocketDispatcher>(*EventLoop::Current());
    t_dispatcher->sockets_[handle] = &socket;
}

void SocketDispatcher::Unregister(SOCKET handle) {
    if (!t_dispatcher) return;
    SocketDispatcher& self = *t_dispatcher;
    self.sockets_.erase(handle);
    if (self.sockets_.empty()) {
        // The last socket: its queue goes with it, and no stale event can meet a later socket.
        t_dispatcher.reset();
        return;
    }
    self.closed_.insert(handle);
    self.Enqueue(Event{handle, 0, 0, true});
}

void SocketDispatcher::PostEvent(SOCKET handle, long event, int error) {
    if (t_dispatcher) t_dispatcher->Enqueue(Event{handle, event, error, false});
}

void SocketDispatcher::Enqueue(const Event& event) {
    queue_.push_back(event);
    // One loop call per event, like one posted message each: whichever loop runs next, the
    // outer one or a modal one nested in a handler, delivers the oldest event.
    EventLoop* loop = *loop_;
    if (loop == nullptr) return;  // the loop has gone; nothing can be delivered any more
    loop->Post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->DeliverOne();
    });
}

void SocketDispatcher::DeliverOne() {
    if (queue_.empty()) return;
    const Event event = queue_.front();
    queue_.pop_front();
    if (event.closeMarker) {
        if (auto it = closed_.find(event.handle); it != closed_.end()) closed_.erase(it);
        return;
    }
    if (closed_.contains(event.handle)) return;
    const auto it = sockets_.find(event.handle);
    if (it == sockets_.end()) return;
    // The handler may close every socket of the thread and so release this dispatcher's
    // thread link; the caller's lock keeps it alive until we return.
    it->second->DeliverEvent(event.event, event.error);
}

}  // namespace omblor::net
