#include "framework/qt/QtEventLoop.h"

#include <QEventLoop>
#include <utility>

namespace omblor::framework {

namespace {
// Deleting a notifier or timer from inside its own signal is not allowed; let Qt do it later.
void Discard(QObject* object) {
    if (object == nullptr) return;
    // The descriptor may be closed right after this; stop polling it now.
    if (auto* notifier = qobject_cast<QSocketNotifier*>(object)) notifier->setEnabled(false);
    object->disconnect();
    object->deleteLater();
}
}  // namespace

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop() {
    Retire();
    for (auto& [id, w] : watches_) {
        delete w.read;
        delete w.write;
    }
    for (auto& [id, t] : timers_) delete t.timer;
}

void QtEventLoop::Apply(net::WatchId id, Watch& watch, unsigned events) {
    auto make = [&](QSocketNotifier::Type type, unsigned flag) {
        auto* n = new QSocketNotifier(watch.fd, type, &context_);
        QObject::connect(n, &QSocketNotifier::activated, &context_, [this, id, flag] {
            auto it = watches_.find(id);
            if (it == watches_.end()) return;
            const std::shared_ptr<FdCallback> callback = it->second.callback;
            (*callback)(it->second.fd, flag);
        });
        return n;
    };
    const bool wantRead = (events & net::kFdRead) != 0;
    const bool wantWrite = (events & net::kFdWrite) != 0;
    if (wantRead && watch.read == nullptr) watch.read = make(QSocketNotifier::Read, net::kFdRead);
    if (!wantRead && watch.read != nullptr) Discard(std::exchange(watch.read, nullptr));
    if (wantWrite && watch.write == nullptr) {
        watch.write = make(QSocketNotifier::Write, net::kFdWrite);
    }
    if (!wantWrite && watch.write != nullptr) Discard(std::exchange(watch.write, nullptr));
}

net::WatchId QtEventLoop::WatchFd(int fd, unsigned events, FdCallback callback) {
    const net::WatchId id = nextId_++;
    Watch& watch = watches_[id];
    watch.fd = fd;
    watch.callback = std::make_shared<FdCallback>(std::move(callback));
    Apply(id, watch, events);
    return id;
}

void QtEventLoop::SetWatchEvents(net::WatchId id, unsigned events) {
    if (auto it = watches_.find(id); it != watches_.end()) Apply(id, it->second, events);
}

void QtEventLoop::UnwatchFd(net::WatchId id) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    Discard(it->second.read);
    Discard(it->second.write);
    watches_.erase(it);
}

net::TimerId QtEventLoop::StartTimer(std::chrono::milliseconds interval, net::Repeat repeat,
                                     Callback callback) {
    const net::TimerId id = nextId_++;
    auto* timer = new QTimer(&context_);
    timer->setSingleShot(repeat == net::Repeat::No);
    timer->setInterval(static_cast<int>(interval.count()));
    Timer& t = timers_[id];
    t.timer = timer;
    t.callback = std::make_shared<Callback>(std::move(callback));
    QObject::connect(timer, &QTimer::timeout, &context_, [this, id] {
        auto it = timers_.find(id);
        if (it == timers_.end()) return;
        const std::shared_ptr<Callback> callback = it->second.callback;
        if (it->second.timer->isSingleShot()) {
            Discard(it->second.timer);
            timers_.erase(it);
        }
        (*callback)();
    });
    timer->start();
    return id;
}

void QtEventLoop::StopTimer(net::TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.timer->stop();
    Discard(it->second.timer);
    timers_.erase(it);
}

void QtEventLoop::Post(Callback callback) {
    QMetaObject::invokeMethod(&context_, std::move(callback), Qt::QueuedConnection);
}

void QtEventLoop::RunUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    while (!done()) loop.processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace omblor::framework
