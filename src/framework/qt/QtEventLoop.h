// The event loop on Qt's own dispatcher: watches are QSocketNotifiers, timers QTimers, and a
// nested run is a QEventLoop. Every Qt modal loop (QMessageBox::exec, QFileDialog::exec) then
// keeps delivering socket events and timer ticks, as the program needs.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <memory>

#include "net/EventLoop.h"

namespace omblor::framework {

class QtEventLoop : public net::EventLoop {
  public:
    QtEventLoop();
    ~QtEventLoop() override;

    net::WatchId WatchFd(int fd, unsigned events, FdCallback callback) override;
    void SetWatchEvents(net::WatchId id, unsigned events) override;
    void UnwatchFd(net::WatchId id) override;
    net::TimerId StartTimer(std::chrono::milliseconds interval, net::Repeat repeat,
                            Callback callback) override;
    void StopTimer(net::TimerId id) override;
    void Post(Callback callback) override;
    void RunUntil(const std::function<bool()>& done) override;

  private:
    struct Watch {
        int fd = -1;
        std::shared_ptr<FdCallback> callback;
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    struct Timer {
        QTimer* timer = nullptr;
        std::shared_ptr<Callback> callback;
    };

    void Apply(net::WatchId id, Watch& watch, unsigned events);
    void OnReadable(net::WatchId id);
    [[nodiscard]] bool StillReadable(net::WatchId id) const;

    QObject context_;
    std::map<net::WatchId, Watch> watches_;
    std::map<net::TimerId, Timer> timers_;
    std::uint64_t nextId_ = 1;
};

}  // namespace omblor::framework
