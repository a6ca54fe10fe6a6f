// The module's TCP listener for the update exchange: it accepts its connections one after the
// other, plays the script on each through a ModuleExchange (the faulty script on the first ones
// of a flaky module, the plain one after), and is done when the last has ended. A discoverable
// module goes quiet for its reboot time the moment the reboot answer R comes: it closes its
// listening socket and says so, so its discovery replies stop too. It owns the transcript file the
// sessions write to.
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
        // The module's face in the discovery search changed: quiet (nullopt) while it reboots,
        // then answering with its new application name.
        std::function<void(const std::optional<std::string>& application)> on_discovery;
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
    // Every connection has been served (a reboot may still be running), or Stop was called.
    [[nodiscard]] bool Done() const;
    // Every connection it was to serve ended as scripted.
    [[nodiscard]] bool Passed() const;
    [[nodiscard]] const std::vector<SessionReport>& Reports() const { return reports_; }

  private:
    std::optional<std::string> OpenListener();
    void OnAcceptable();
    void OnSessionEnded(const SessionReport& report);
    void Reboot();

    const SimOptions& options_;
    const SimOptions plain_;  // the same module without its faults
    Script script_;
    Script plainScript_;
    Callbacks callbacks_;
    int number_ = 1;
    platform::UniqueFd listen_;
    platform::UniqueFd transcript_;
    net::ScopedWatch acceptWatch_;
    net::ScopedTimer rebootTimer_;
    std::uint16_t port_ = 0;
    // Kept after it has finished: it finishes from inside its own handler. The next accepted
    // connection replaces it.
    std::unique_ptr<ModuleExchange> session_;
    std::vector<SessionReport> reports_;
    bool stopped_ = false;
};

}  // namespace omblor::modulesim
