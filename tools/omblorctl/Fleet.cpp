#include "Fleet.h"

#include <algorithm>
#include <chrono>

namespace omblor::ctl {

using Clock = std::chrono::steady_clock;
using Step = ModuleState::Step;

class Fleet::Job final : public update::UpdateSessionOwner {
  public:
    Job(Fleet& fleet, std::size_t index)
        : fleet_(fleet),
          index_(index),
          state_(fleet.modules_[index]),
          session_(
              *this, fleet.image_, state_.hostOrder, update::kUpdatePort,
              fleet.settings_.reboot ? update::RebootChoice::Reboot : update::RebootChoice::Stay) {
        session_.EndOnLostConnection(update::LostConnection::EndAtOnce);
    }

    void Start() {
        state_.phase = ModuleState::Phase::Connecting;
        session_.Start();
    }
    update::UpdateSession& Session() { return session_; }

  private:
    // Every event but the end means the module is talking.
    void Show(Step step) {
        if (state_.phase == ModuleState::Phase::Done) return;
        state_.phase = ModuleState::Phase::Exchanging;
        state_.step = step;
        fleet_.view_.Changed(fleet_.modules_, index_);
    }
    void OnPlatformNamed(std::string_view /*name*/) override { Show(Step::Talking); }
    std::optional<update::Credentials> OnCredentialsNeeded() override {
        Show(Step::Talking);
        if (fleet_.settings_.credentials != nullptr) return *fleet_.settings_.credentials;
        return std::nullopt;
    }
    void OnHeaderAnswered(update::HeaderAnswer answer) override {
        refused_ = answer == update::HeaderAnswer::Refused;
        Show(Step::Talking);
    }
    void OnImageSent(std::uint64_t /*sent*/, std::uint64_t /*total*/) override {
        if (state_.step == Step::Talking) Show(Step::SendingImage);
    }
    void OnProgress(int position) override {
        state_.percent = std::min(position, 100);
        Show(Step::Programming);
    }
    void OnRebootAnswered(update::RebootChoice /*choice*/) override { Show(state_.step); }
    void OnTrouble(update::Failure /*failure*/, int /*error*/) override {}
    void OnEnded(const update::SessionEnd& end) override {
        const std::chrono::duration<double> took = Clock::now() - started_;
        state_.result.seconds = took.count();
        state_.result.bytes = session_.ImageBytesSent();
        DescribeEnd(state_.result, end, refused_ ? &session_.PlatformName() : nullptr,
                    fleet_.image_.headerText);
        fleet_.OnJobEnded(index_);
    }

    Fleet& fleet_;
    std::size_t index_;
    ModuleState& state_;
    Clock::time_point started_ = Clock::now();
    bool refused_ = false;
    update::UpdateSession session_;
};

Fleet::Fleet(const image::AppImage& image, const FleetSettings& settings,
             std::vector<ModuleState> modules, FleetView& view)
    : image_(image),
      settings_(settings),
      modules_(std::move(modules)),
      view_(view),
      loop_(*net::EventLoop::Current()),
      jobs_(modules_.size()),
      posted_(loop_) {
    settings_.parallel = std::max<std::size_t>(settings_.parallel, 1);
}

Fleet::~Fleet() = default;

void Fleet::Run() {
    ticks_ = net::ScopedTimer(loop_, std::chrono::seconds(1), net::Repeat::Yes, [this] { Tick(); });
    StartMore();
    loop_.RunUntil([this] {
        return open_ == 0 && std::ranges::all_of(modules_, [](const ModuleState& m) {
                   return m.phase == ModuleState::Phase::Done;
               });
    });
    ticks_.Stop();
    view_.Finished(modules_);
}

void Fleet::Stop() {
    if (stopping_) return;
    stopping_ = true;
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        ModuleState& module = modules_[i];
        if (module.phase == ModuleState::Phase::Waiting) {
            module.phase = ModuleState::Phase::Done;
            module.result.outcome = outcome::kCancelled;
            view_.Changed(modules_, i);
        } else if (jobs_[i] && !jobs_[i]->Session().Ending()) {
            jobs_[i]->Session().Cancel();
        }
    }
}

void Fleet::StartMore() {
    while (!stopping_ && open_ < settings_.parallel && next_ < modules_.size()) {
        const std::size_t index = next_++;
        if (modules_[index].phase != ModuleState::Phase::Waiting) continue;
        jobs_[index] = std::make_unique<Job>(*this, index);
        ++open_;
        jobs_[index]->Start();  // may end at once; its end is handled from a posted call
        view_.Changed(modules_, index);
    }
}

void Fleet::Tick() {
    for (const auto& job : jobs_) {
        if (job && !job->Session().Ending()) job->Session().Tick();
    }
}

void Fleet::OnJobEnded(std::size_t index) {
    modules_[index].phase = ModuleState::Phase::Done;
    view_.Changed(modules_, index);
    // The session's socket may still be reading on the stack: close it from the loop.
    posted_.Post([this, index] {
        jobs_[index].reset();
        --open_;
        StartMore();
    });
}

}  // namespace omblor::ctl
