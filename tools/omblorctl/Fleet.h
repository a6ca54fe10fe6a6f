// Programs many modules at once on one event loop: one update session per module, at most
// `parallel` connections open at a time, one 1 s timer ticking every open session (each keeps
// its own 30-tick silence count), one image buffer borrowed by all. Stop() opens no further
// connections and cancels the open ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "ModuleResult.h"
#include "image/AppImage.h"
#include "net/EventLoop.h"
#include "update/UpdateSession.h"

namespace omblor::ctl {

struct ModuleState {
    enum class Phase { Waiting, Connecting, Exchanging, Done };
    // Where an exchanging module stands.
    enum class Step { Talking, SendingImage, Programming };

    std::uint32_t hostOrder = 0;
    Phase phase = Phase::Waiting;
    Step step = Step::Talking;
    int percent = 0;      // while Programming
    ModuleResult result;  // the address from the start, the rest once Done
};

// What the progress view hears: `index` changed.
class FleetView {
  public:
    virtual void Changed(std::span<const ModuleState> modules, std::size_t index) = 0;
    virtual void Finished(std::span<const ModuleState> modules) = 0;

  protected:
    ~FleetView() = default;
};

struct FleetSettings {
    bool reboot = true;
    std::size_t parallel = 64;
    // For modules that ask; none means such a module ends as "credentials needed".
    const update::Credentials* credentials = nullptr;
};

class Fleet {
  public:
    // Modules already Done (skipped) stay as they are. `image` must outlive the fleet.
    Fleet(const image::AppImage& image, const FleetSettings& settings,
          std::vector<ModuleState> modules, FleetView& view);
    ~Fleet();
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Runs the current loop until every module has its result and every connection is closed.
    void Run();
    void Stop();

    [[nodiscard]] std::span<const ModuleState> Modules() const { return modules_; }

  private:
    class Job;

    void StartMore();
    void Tick();
    void OnJobEnded(std::size_t index);

    const image::AppImage& image_;
    FleetSettings settings_;
    std::vector<ModuleState> modules_;
    FleetView& view_;
    net::EventLoop& loop_;
    // One per module while its session lives; a session is destroyed from a posted call, never
    // from inside its own report.
    std::vector<std::unique_ptr<Job>> jobs_;
    std::size_t next_ = 0;
    std::size_t open_ = 0;
    bool stopping_ = false;
    net::ScopedTimer ticks_;
    net::PostedCalls posted_;
};

}  // namespace omblor::ctl
