// The event loop seam every part of the program runs on: file-descriptor watches, timers, posted
// calls and a nested run-until for modal loops. One loop per thread, reached through Current().
// Every registration belongs to the loop it was made on: the scoped handles below remember that
// loop and stop through it, whichever loop is current later, and do nothing once it has gone.
// The poll(2) implementation (Linux) and the window-message one (Windows) live beside this file;
// the Qt one lives with the Qt host so that src/net never includes Qt.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace omblor::net {

// Readiness a watch asks for (bit set).
enum FdEvent : unsigned {
    kFdRead = 1U << 0,
    kFdWrite = 1U << 1,
};

enum class Repeat { Yes, No };

using WatchId = std::uint64_t;
using TimerId = std::uint64_t;

class EventLoop {
  public:
    using FdCallback = std::function<void(int fd, unsigned ready)>;
    using Callback = std::function<void()>;

    // What a registration keeps of its loop: reads null once the loop has gone.
    using Link = std::shared_ptr<EventLoop*>;

    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;
    virtual ~EventLoop() { Retire(); }

    [[nodiscard]] Link GetLink() const { return link_; }

    // Calls `callback` from the loop (never from inside the wait) when `fd` is ready for one of
    // `events`. Readiness is level-triggered: it keeps coming while the condition holds.
    virtual WatchId WatchFd(int fd, unsigned events, FdCallback callback) = 0;
    virtual void SetWatchEvents(WatchId id, unsigned events) = 0;
    // Safe to call from inside the watch's own callback; no call follows it.
    virtual void UnwatchFd(WatchId id) = 0;

    // A periodic timer fires about once per interval; ticks that fall due while the thread is
    // busy merge into one. A zero interval runs on the next turn, never in a tight loop.
    virtual TimerId StartTimer(std::chrono::milliseconds interval, Repeat repeat,
                               Callback callback) = 0;
    // Safe from inside the timer's own callback; unknown ids are ignored.
    virtual void StopTimer(TimerId id) = 0;

    // Runs `callback` on a later turn of the loop, in posting order.
    virtual void Post(Callback callback) = 0;

    // A nested loop: keeps dispatching everything until `done()` is true, checked after every
    // dispatched event. Modal dialogs and message boxes run on this.
    virtual void RunUntil(const std::function<bool()>& done) = 0;

    // The loop of this thread, or null when none is installed: nothing makes one behind the
    // caller's back.
    static EventLoop* Current();
    static void SetCurrent(EventLoop* loop);

  protected:
    // Cuts the links of every registration and stops being current. Derived loops call it first
    // in their destructors, so no handle reaches a half-destroyed loop.
    void Retire() noexcept;

  private:
    Link link_ = std::make_shared<EventLoop*>(this);
};

// Posts calls that run only while their owner lives: a call still queued when the owner goes is
// dropped, so a posted call may capture the owner's `this`.
class PostedCalls {
  public:
    explicit PostedCalls(EventLoop& loop) : loop_(loop.GetLink()) {}
    PostedCalls(const PostedCalls&) = delete;
    PostedCalls& operator=(const PostedCalls&) = delete;
    ~PostedCalls() = default;

    void Post(EventLoop::Callback callback);

  private:
    EventLoop::Link loop_;
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

// A timer that stops itself when it goes out of scope.
class ScopedTimer {
  public:
    ScopedTimer() = default;
    ScopedTimer(EventLoop& loop, std::chrono::milliseconds interval, Repeat repeat,
                EventLoop::Callback callback);
    // On the current loop; inactive when there is none.
    ScopedTimer(std::chrono::milliseconds interval, Repeat repeat, EventLoop::Callback callback);
    ScopedTimer(ScopedTimer&& other) noexcept;
    ScopedTimer& operator=(ScopedTimer&& other) noexcept;
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;
    ~ScopedTimer();

    void Stop();
    [[nodiscard]] bool Active() const { return id_ != 0; }

  private:
    EventLoop::Link loop_;
    TimerId id_ = 0;
};

// A watch that unregisters itself when it goes out of scope.
class ScopedWatch {
  public:
    ScopedWatch() = default;
    ScopedWatch(EventLoop& loop, int fd, unsigned events, EventLoop::FdCallback callback);
    // On the current loop; inactive when there is none.
    ScopedWatch(int fd, unsigned events, EventLoop::FdCallback callback);
    ScopedWatch(ScopedWatch&& other) noexcept;
    ScopedWatch& operator=(ScopedWatch&& other) noexcept;
    ScopedWatch(const ScopedWatch&) = delete;
    ScopedWatch& operator=(const ScopedWatch&) = delete;
    ~ScopedWatch();

    void SetEvents(unsigned events);
    void Reset();
    [[nodiscard]] bool Active() const { return id_ != 0; }

  private:
    EventLoop::Link loop_;
    WatchId id_ = 0;
};

}  // namespace omblor::net
