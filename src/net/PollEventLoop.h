// The poll(2) event loop: used by the console host, the tools and the tests. Slot 0 of the poll
// set is a wake pipe so that a Post() from a handler never waits for the next timeout; timers sit
// in a deadline-ordered heap. Readiness becomes queued dispatches, run after poll returns.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <queue>
#include <vector>

#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::net {

class PollEventLoop final : public EventLoop {
  public:
    PollEventLoop();
    ~PollEventLoop() override;

    WatchId WatchFd(int fd, unsigned events, FdCallback callback) override;
    void SetWatchEvents(WatchId id, unsigned events) override;
    void UnwatchFd(WatchId id) override;
    TimerId StartTimer(std::chrono::milliseconds interval, Repeat repeat,
                       Callback callback) override;
    void StopTimer(TimerId id) override;
    void Post(Callback callback) override;
    void RunUntil(const std::function<bool()>& done) override;

    // One turn: waits at most `max_wait` (or not at all with zero), then dispatches what is due.
    void PumpOnce(std::chrono::milliseconds max_wait);

  private:
    using Clock = std::chrono::steady_clock;
    struct Watch {
        int fd = -1;
        unsigned events = 0;
        FdCallback callback;
    };
    struct Timer {
        std::chrono::milliseconds interval{};
        Repeat repeat = Repeat::No;
        Callback callback;
        Clock::time_point deadline;
    };
    struct HeapEntry {
        Clock::time_point deadline;
        TimerId id;
        bool operator>(const HeapEntry& other) const { return deadline > other.deadline; }
    };

    void DrainWakePipe();
    void Wake();
    void RunDueTimers();

    platform::UniqueFd wake_read_;
    platform::UniqueFd wake_write_;
    std::map<WatchId, Watch> watches_;
    std::map<TimerId, Timer> timers_;
    std::priority_queue<HeapEntry, std::vector<HeapEntry>, std::greater<>> heap_;
    std::deque<Callback> posted_;
    std::uint64_t next_id_ = 1;
};

}  // namespace omblor::net
