// Ctrl-C (SIGINT) and SIGTERM as an event on the loop: from construction on they no longer end
// the process; each one read calls `onStop` instead, so the tool can stop cleanly.
#pragma once

#include <functional>

#include "net/EventLoop.h"
#include "net/UniqueFd.h"

namespace omblor::ctl {

class StopSignal {
  public:
    explicit StopSignal(std::function<void()> onStop);
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    [[nodiscard]] bool Stopped() const { return stopped_; }

  private:
    std::function<void()> onStop_;
    net::UniqueFd fd_;
    net::ScopedWatch watch_;
    bool stopped_ = false;
};

}  // namespace omblor::ctl
