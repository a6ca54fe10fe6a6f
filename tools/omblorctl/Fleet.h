// Programs many modules at once on one event loop: one update session per module, at most
// `parallel` connections open at a time, one 1 s timer ticking every open session (each keeps
// its own 30-tick silence count), one image buffer borrowed by all. On top of that the rules of a
// production line: transient failures are tried again after a growing delay (a waiting module
// holds no connection slot), the first modules can go first as a canary, too many failures stop
// new connections, and a programmed module can be made to prove it came back. Stop() opens no
// further connections and cancels the open ones.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "Comeback.h"
#include "ModuleResult.h"
#include "discovery/ReplyRecord.h"
#include "image/AppImage.h"
#include "net/EventLoop.h"
#include "update/UpdateSession.h"

namespace omblor::ctl {

struct ModuleState {
    // Retrying: waiting out the delay before its next attempt; Confirming: programmed, waiting
    // to be heard after its reboot.
    enum class Phase { Waiting, Connecting, Exchanging, Retrying, Confirming, Done };
    // Where an exchanging module stands.
    enum class Step { Talking, SendingImage, Programming };

    std::uint32_t hostOrder = 0;
    std::vector<discovery::MacAddress> macs;  // its interfaces, when a search saw it
    Phase phase = Phase::Waiting;
    Step step = Step::Talking;
    int percent = 0;  // while Programming
    // The address from the start; the rest as each attempt ends (`seconds` that attempt's),
    // and once Done the module's end (`seconds` from its first connection on).
    ModuleResult result;
    std::chrono::steady_clock::time_point started;  // its first connection
};

// What the progress view hears: `index` changed.
class FleetView {
  public:
    virtual void Changed(std::span<const ModuleState> modules, std::size_t index) = 0;
    virtual void Finished(std::span<const ModuleState> modules) = 0;

  protected:
    ~FleetView() = default;
};

// Where the run's record goes as it happens, so that a crash loses nothing already ended: each
// attempt as it ends (a programmed one once its confirmation ended), then each module once.
class FleetRecord {
  public:
    virtual void AttemptEnded(const ModuleState& module) = 0;
    virtual void ModuleEnded(const ModuleState& module) = 0;

  protected:
    ~FleetRecord() = default;
};

struct FleetSettings {
    bool reboot = true;
    std::size_t parallel = 64;
    // For modules that ask; none means such a module ends as "credentials needed".
    const update::Credentials* credentials = nullptr;
    std::size_t retries = 0;
    std::chrono::milliseconds retryDelay{2000};
    std::size_t canary = 0;
    std::optional<std::size_t> maxFailures;
    // A random number in [0, 1) for the retry delay's jitter; tests fix it.
    std::function<double()> jitter;
};

class Fleet final : public ConfirmationOwner {
  public:
    // Modules already Done (skipped) stay as they are. `image` must outlive the fleet.
    Fleet(const image::AppImage& image, FleetSettings settings, std::vector<ModuleState> modules,
          FleetView& view, FleetRecord& record);
    ~Fleet();
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // From now on a programmed module ends only once `watch` has heard it come back, or not.
    // The watch reports to this fleet and must outlive Run().
    void ConfirmWith(ComebackWatch& watch) { comeback_ = &watch; }

    // Runs the current loop until every module has its result and every connection is closed.
    void Run();
    void Stop();

    [[nodiscard]] std::span<const ModuleState> Modules() const { return modules_; }

    void OnConfirmed(std::size_t index, std::string_view application) override;
    void OnNotConfirmed(std::size_t index) override;

  private:
    class Job;

    void StartMore();
    void Tick();
    void OnExchangeEnded(std::size_t index);
    void RetryLater(std::size_t index);
    void Finish(std::size_t index);
    // Every module not connected now ends without a further connection.
    void EndTheRest();
    [[nodiscard]] bool MayStart(std::size_t index) const;

    const image::AppImage& image_;
    FleetSettings settings_;
    std::vector<ModuleState> modules_;
    FleetView& view_;
    FleetRecord& record_;
    ComebackWatch* comeback_ = nullptr;
    net::EventLoop& loop_;
    // One per module while its session lives; a session is destroyed from a posted call, never
    // from inside its own report.
    std::vector<std::unique_ptr<Job>> jobs_;
    std::vector<net::ScopedTimer> retryTimers_;
    std::vector<bool> canary_;  // the modules that go first
    std::deque<std::size_t> ready_;
    std::size_t open_ = 0;
    std::size_t canaryLeft_ = 0;  // canaries not yet ended well
    std::size_t failures_ = 0;
    // No new connection opens: stopped from outside, a canary failed, or too many failures.
    bool halted_ = false;
    net::ScopedTimer ticks_;
    net::PostedCalls posted_;
};

}  // namespace omblor::ctl
