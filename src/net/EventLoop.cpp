#include "net/EventLoop.h"

#include <utility>

namespace omblor::net {

namespace {
thread_local EventLoop* t_current = nullptr;

// The loop behind a link, or null when the link is empty or its loop has gone.
EventLoop* Resolve(const EventLoop::Link& link) {
    return link ? *link : nullptr;
}
}  // namespace

EventLoop* EventLoop::Current() {
    return t_current;
}

void EventLoop::SetCurrent(EventLoop* loop) {
    t_current = loop;
}

void EventLoop::Retire() noexcept {
    *link_ = nullptr;
    if (t_current == this) t_current = nullptr;
}

void PostedCalls::Post(EventLoop::Callback callback) {
    EventLoop* loop = Resolve(loop_);
    if (loop == nullptr) return;
    loop->Post([alive = std::weak_ptr<char>(alive_), callback = std::move(callback)] {
        if (!alive.expired()) callback();
    });
}

ScopedTimer::ScopedTimer(EventLoop& loop, std::chrono::milliseconds interval, Repeat repeat,
                         EventLoop::Callback callback)
    : loop_(loop.GetLink()), id_(loop.StartTimer(interval, repeat, std::move(callback))) {}

ScopedTimer::ScopedTimer(std::chrono::milliseconds interval, Repeat repeat,
                         EventLoop::Callback callback) {
    if (EventLoop* loop = EventLoop::Current())
        *this = ScopedTimer(*loop, interval, repeat, std::move(callback));
}

ScopedTimer::ScopedTimer(ScopedTimer&& other) noexcept
    : loop_(std::move(other.loop_)), id_(std::exchange(other.id_, 0)) {}

ScopedTimer& ScopedTimer::operator=(ScopedTimer&& other) noexcept {
    if (this != &other) {
        Stop();
        loop_ = std::move(other.loop_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ScopedTimer::~ScopedTimer() {
    Stop();
}

void ScopedTimer::Stop() {
    const TimerId id = std::exchange(id_, 0);
    if (EventLoop* loop = Resolve(loop_); loop != nullptr && id != 0) loop->StopTimer(id);
    loop_.reset();
}

ScopedWatch::ScopedWatch(EventLoop& loop, int fd, unsigned events, EventLoop::FdCallback callback)
    : loop_(loop.GetLink()), id_(loop.WatchFd(fd, events, std::move(callback))) {}

ScopedWatch::ScopedWatch(int fd, unsigned events, EventLoop::FdCallback callback) {
    if (EventLoop* loop = EventLoop::Current())
        *this = ScopedWatch(*loop, fd, events, std::move(callback));
}

ScopedWatch::ScopedWatch(ScopedWatch&& other) noexcept
    : loop_(std::move(other.loop_)), id_(std::exchange(other.id_, 0)) {}

ScopedWatch& ScopedWatch::operator=(ScopedWatch&& other) noexcept {
    if (this != &other) {
        Reset();
        loop_ = std::move(other.loop_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ScopedWatch::~ScopedWatch() {
    Reset();
}

void ScopedWatch::SetEvents(unsigned events) {
    if (EventLoop* loop = Resolve(loop_); loop != nullptr && id_ != 0)
        loop->SetWatchEvents(id_, events);
}

void ScopedWatch::Reset() {
    const WatchId id = std::exchange(id_, 0);
    if (EventLoop* loop = Resolve(loop_); loop != nullptr && id != 0) loop->UnwatchFd(id);
    loop_.reset();
}

}  // namespace omblor::net
