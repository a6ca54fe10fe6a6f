// Ctrl-C (and SIGTERM on Linux, Ctrl-Break on Windows) as an event on the loop: from
// construction on they no longer end the process; each one calls `onStop` instead, so the tool
// can stop cleanly.
#pragma once

#include <functional>
#include <memory>

namespace omblor::ctl {

class StopSignal {
  public:
    explicit StopSignal(std::function<void()> onStop);
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    [[nodiscard]] bool Stopped() const { return stopped_; }

  private:
    struct Source;  // the platform's way of hearing the request

    void Arrived() {
        stopped_ = true;
        if (onStop_) onStop_();
    }

    std::function<void()> onStop_;
    std::unique_ptr<Source> source_;
    bool stopped_ = false;
};

}  // namespace omblor::ctl
