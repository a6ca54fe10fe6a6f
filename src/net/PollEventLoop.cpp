#include "net/PollEventLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

namespace omblor::net {

PollEventLoop::PollEventLoop() {
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wake_read_.Reset(fds[0]);
        wake_write_.Reset(fds[1]);
    }
}

PollEventLoop::~PollEventLoop() {
    Retire();
}

WatchId PollEventLoop::WatchFd(int fd, unsigned events, FdCallback callback) {
    const WatchId id = next_id_++;
    watches_[id] = Watch{fd, events, std::move(callback)};
    return id;
}

void PollEventLoop::SetWatchEvents(WatchId id, unsigned events) {
    if (auto it = watches_.find(id); it != watches_.end()) it->second.events = events;
}

void PollEventLoop::UnwatchFd(WatchId id) {
    watches_.erase(id);
}

TimerId PollEventLoop::StartTimer(std::chrono::milliseconds interval, Repeat repeat,
                                  Callback callback) {
    const TimerId id = next_id_++;
    const auto deadline = Clock::now() + interval;
    timers_[id] = Timer{interval, repeat, std::move(callback), deadline};
    heap_.push({deadline, id});
    return id;
}

void PollEventLoop::StopTimer(TimerId id) {
    timers_.erase(id);
}

void PollEventLoop::Post(Callback callback) {
    posted_.push_back(std::move(callback));
    Wake();
}

void PollEventLoop::Wake() {
    if (!wake_write_.Valid()) return;
    const char byte = 1;
    // A full pipe already means "wake up"; nothing to do on EAGAIN.
    [[maybe_unused]] const auto n = ::write(wake_write_.Get(), &byte, 1);
}

void PollEventLoop::DrainWakePipe() {
    char sink[64];
    while (::read(wake_read_.Get(), sink, sizeof sink) > 0) {
    }
}

void PollEventLoop::RunUntil(const std::function<bool()>& done) {
    constexpr std::chrono::milliseconds kMaxWait{1000};
    while (!done()) PumpOnce(kMaxWait);
}

void PollEventLoop::RunDueTimers() {
    // Take every entry due now before calling anything: a zero-interval timer re-armed by its
    // own tick then runs on the next turn instead of spinning here.
    const auto now = Clock::now();
    std::vector<TimerId> due;
    while (!heap_.empty() && heap_.top().deadline <= now) {
        const HeapEntry entry = heap_.top();
        heap_.pop();
        auto it = timers_.find(entry.id);
        // Entries of stopped timers, or stale ones of re-armed timers, fall out here.
        if (it == timers_.end() || it->second.deadline != entry.deadline) continue;
        due.push_back(entry.id);
        Timer& timer = it->second;
        if (timer.repeat == Repeat::Yes) {
            // Ticks missed while the thread was busy merge into this one.
            auto next = timer.deadline + timer.interval;
            if (next <= now) next = now + timer.interval;
            if (timer.interval.count() == 0) next = now + std::chrono::milliseconds(1);
            timer.deadline = next;
            heap_.push({next, entry.id});
        }
    }
    for (const TimerId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;  // stopped by an earlier tick of this turn
        Callback callback = it->second.callback;
        if (it->second.repeat == Repeat::No) timers_.erase(it);
        callback();
    }
}

void PollEventLoop::PumpOnce(std::chrono::milliseconds max_wait) {
    std::vector<pollfd> set;
    std::vector<WatchId> ids;
    set.reserve(watches_.size() + 1);
    ids.reserve(watches_.size() + 1);
    set.push_back({wake_read_.Get(), POLLIN, 0});
    ids.push_back(0);
    for (const auto& [id, watch] : watches_) {
        short events = 0;
        if ((watch.events & kFdRead) != 0) events |= POLLIN;
        if ((watch.events & kFdWrite) != 0) events |= POLLOUT;
        if (events == 0) continue;
        set.push_back({watch.fd, events, 0});
        ids.push_back(id);
    }

    auto wait = max_wait;
    if (!posted_.empty()) wait = std::chrono::milliseconds(0);
    if (!heap_.empty()) {
        const auto until =
            std::chrono::ceil<std::chrono::milliseconds>(heap_.top().deadline - Clock::now());
        wait = std::clamp(until, std::chrono::milliseconds(0), wait);
    }

    int n = ::poll(set.data(), set.size(), static_cast<int>(wait.count()));
    if (n < 0 && errno != EINTR) {
        // The set itself was refused (too many descriptors, no memory): wait out the time
        // without it, so timers and posted calls still run and nested loops do not spin.
        n = ::poll(nullptr, 0, static_cast<int>(wait.count()));
    }

    if (n > 0) {
        if ((set[0].revents & POLLIN) != 0) DrainWakePipe();
        for (std::size_t i = 1; i < set.size(); ++i) {
            if (set[i].revents == 0) continue;
            auto it = watches_.find(ids[i]);
            if (it == watches_.end()) continue;  // removed by an earlier handler of this turn
            unsigned ready = 0;
            // Errors and hang-ups are reported as readiness so the owner's read or write sees them.
            if ((set[i].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0) ready |= kFdRead;
            if ((set[i].revents & (POLLOUT | POLLERR | POLLHUP | POLLNVAL)) != 0) ready |= kFdWrite;
            ready &= it->second.events;
            if (ready == 0) continue;
            FdCallback callback = it->second.callback;
            callback(set[i].fd, ready);
        }
    }

    RunDueTimers();

    // Only what was posted before this point runs now; later posts wait for the next turn.
    for (std::size_t count = posted_.size(); count > 0 && !posted_.empty(); --count) {
        Callback callback = std::move(posted_.front());
        posted_.pop_front();
        callback();
    }
}

}  // namespace omblor::net
