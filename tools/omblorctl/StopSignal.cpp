#include "StopSignal.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>

namespace omblor::ctl {

StopSignal::StopSignal(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return;
    fd_.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_.Valid()) return;
    watch_ = net::ScopedWatch(fd_.Get(), net::kFdRead, [this](int fd, unsigned /*ready*/) {
        signalfd_siginfo info{};
        while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        stopped_ = true;
        if (onStop_) onStop_();
    });
}

}  // namespace omblor::ctl
