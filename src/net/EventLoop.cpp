#include "net/EventLoop.h"

#include <memory>
#include <utility>

#include "net/PollEventLoop.h"

namespace omblor::net {

namespace {
thread_local EventLoop* t_current = nullptr;
thread_local std::unique_ptr<PollEventLoop> t_fallback;
}  // namespace

EventLoop& EventLoop::Current() {
    if (t_current == nullptr) {
        if (!t_fallback) t_fallback = std::make_unique<PollEventLoop>();
        t_current = t_fallback.get();
    }
    return *t_current;
}

void EventLoop::SetCurrent(EventLoop* loop) { t_current = loop; }

ScopedTimer::ScopedTimer(std::chrono::milliseconds interval, Repeat repeat,
                         EventLoop::Callback callback)
    : id_(EventLoop::Current().StartTimer(interval, repeat, std::move(callback))) {}

ScopedTimer::ScopedTimer(ScopedTimer&& other) noexcept : id_(std::exchange(other.id_, 0)) {}

ScopedTimer& ScopedTimer::operator=(ScopedTimer&& other) noexcept {
    if (this != &other) {
        Stop();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ScopedTimer::~ScopedTimer() { Stop(); }

void ScopedTimer::Stop() {
    if (id_ != 0) EventLoop::Current().StopTimer(std::exchange(id_, 0));
}

ScopedWatch::ScopedWatch(int fd, unsigned events, EventLoop::FdCallback callback)
    : id_(EventLoop::Current().WatchFd(fd, events, std::move(callback))) {}

ScopedWatch::ScopedWatch(ScopedWatch&& other) noexcept : id_(std::exchange(other.id_, 0)) {}

ScopedWatch& ScopedWatch::operator=(ScopedWatch&& other) noexcept {
    if (this != &other) {
        Reset();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

ScopedWatch::~ScopedWatch() { Reset(); }

void ScopedWatch::SetEvents(unsigned events) {
    if (id_ != 0) EventLoop::Current().SetWatchEvents(id_, events);
}

void ScopedWatch::Reset() {
    if (id_ != 0) EventLoop::Current().UnwatchFd(std::exchange(id_, 0));
}

}  // namespace omblor::net
