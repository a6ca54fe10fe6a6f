#include "framework/qt/QtEventLoop.h"

#include <poll.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
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

bool QtEventLoop::StillReadable(net::WatchId id) const {
    auto it = watches_.find(id);
    if (it == watches_.end() || it->second.read == nullptr || !it->second.read->isEnabled()) {
        return false;  // gone, or nobody read: the socket is not asking for more now
    }
    pollfd probe{it->second.fd, POLLIN, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & POLLIN) != 0;
}

void QtEventLoop::OnReadable(net::WatchId id) {
    // A burst of datagrams (thousands of modules answering a search at once) would otherwise
    // cost a whole turn of Qt's loop, painting included, per datagram, and the kernel drops what
    // its buffer cannot hold meanwhile. So the receive events of every datagram waiting are
    // delivered here in one go: each notification posts its event, which is delivered at once
    // and reads one datagram, and the next follows while more wait. Bounded in time so timers
    // and painting still get their turn.
    constexpr auto kBudget = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + kBudget;
    do {
        auto it = watches_.find(id);
        if (it == watches_.end()) return;
        const std::shared_ptr<FdCallback> callback = it->second.callback;
        (*callback)(it->second.fd, net::kFdRead);
        QCoreApplication::sendPostedEvents(&context_, QEvent::MetaCall);
    } while (StillReadable(id) && std::chrono::steady_clock::now() < deadline);
}

void QtEventLoop::Apply(net::WatchId id, Watch& watch, unsigned events) {
    // Notifiers are made once per watch and then only enabled and disabled: a socket re-arms
    // its read side after every datagram.
    auto make = [&](QSocketNotifier::Type type, unsigned flag) {
        auto* n = new QSocketNotifier(watch.fd, type, &context_);
        if (flag == net::kFdRead) {
            QObject::connect(n, &QSocketNotifier::activated, &context_,
                             [this, id] { OnReadable(id); });
        } else {
            QObject::connect(n, &QSocketNotifier::activated, &context_, [this, id, flag] {
                auto it = watches_.find(id);
                if (it == watches_.end()) return;
                const std::shared_ptr<FdCallback> callback = it->second.callback;
                (*callback)(it->second.fd, flag);
            });
        }
        return n;
    };
    const bool wantRead = (events & net::kFdRead) != 0;
    const bool wantWrite = (events & net::kFdWrite) != 0;
    if (wantRead && watch.read == nullptr) watch.read = make(QSocketNotifier::Read, net::kFdRead);
    if (watch.read != nullptr) watch.read->setEnabled(wantRead);
    if (wantWrite && watch.write == nullptr) {
        watch.write = make(QSocketNotifier::Write, net::kFdWrite);
    }
    if (watch.write != nullptr) watch.write->setEnabled(wantWrite);
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
    // Coarse timers may fire up to 5% of the interval early or late; the search's
    // acknowledgements must leave close to their 1.5 s marks.
    timer->setTimerType(Qt::PreciseTimer);
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
