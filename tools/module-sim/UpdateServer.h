// The module's TCP listener for the update exchange: it accepts one connection, plays the script
// on it through a ModuleExchange, and is done when that session has ended. It owns the
// transcript file the session writes to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module-sim/ModuleExchange.h"
#include "module-sim/Script.h"
#include "module-sim/SessionReport.h"
#include "module-sim/SimOptions.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::modulesim {

class UpdateServer {
  public:
    struct Callbacks {
        std::function<void(const std::string& peer)> on_connected;
        std::function<void(const SessionReport&)> on_session_ended;
    };

    // `number` names the module in its report when there are many.
    UpdateServer(const SimOptions& options, Callbacks callbacks, int number = 1);
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;
    ~UpdateServer();

    // Opens the transcript, binds and listens. Returns the reason when it cannot.
    std::optional<std::string> Listen();
    [[nodiscard]] std::uint16_t Port() const { return port_; }

    // Ends a running session with `outcome` (time limit, signal) and stops accepting.
    void Stop(Outcome outcome);
    // The connection has been served, or Stop was called.
    [[nodiscard]] bool Done() const { return stopped_ || !reports_.empty(); }
    [[nodiscard]] const std::vector<SessionReport>& Reports() const { return reports_; }

  private:
    void OnAcceptable();
    void OnSessionEnded(const SessionReport& report);

    const SimOptions& options_;
    Script script_;
    Callbacks callbacks_;
    int number_ = 1;
    platform::UniqueFd listen_;
    platform::UniqueFd transcript_;
    net::ScopedWatch acceptWatch_;
    std::uint16_t port_ = 0;
    // Kept after it has finished: it finishes from inside its own handler.
    std::unique_ptr<ModuleExchange> session_;
    std::vector<SessionReport> reports_;
    bool stopped_ = false;
};

}  // namespace omblor::modulesim
