#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>

#include "StopSignal.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::ctl {

struct StopSignal::Source {
    platform::UniqueFd fd;
    net::ScopedWatch watch;
};

StopSignal::StopSignal(std::function<void()> onStop)
    : onStop_(std::move(onStop)), source_(std::make_unique<Source>()) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return;
    source_->fd.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!source_->fd.Valid()) return;
    source_->watch =
        net::ScopedWatch(source_->fd.Get(), net::kFdRead, [this](int fd, unsigned /*ready*/) {
            signalfd_siginfo info{};
            while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            }
            Arrived();
        });
}

StopSignal::~StopSignal() = default;

}  // namespace omblor::ctl
