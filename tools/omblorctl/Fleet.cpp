#include "Fleet.h"

#include <algorithm>
#include <random>

#include "RetryDelay.h"

namespace omblor::ctl {

using Clock = std::chrono::steady_clock;
using Phase = ModuleState::Phase;
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
        state_.phase = Phase::Connecting;
        state_.step = Step::Talking;
        session_.Start();
    }
    update::UpdateSession& Session() { return session_; }

  private:
    // Every event but the end means the module is talking.
    void Show(Step step) {
        if (state_.phase != Phase::Connecting && state_.phase != Phase::Exchanging) return;
        state_.phase = Phase::Exchanging;
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
        fleet_.OnExchangeEnded(index_);
    }

    Fleet& fleet_;
    std::size_t index_;
    ModuleState& state_;
    Clock::time_point started_ = Clock::now();
    bool refused_ = false;
    update::UpdateSession session_;
};

Fleet::Fleet(const image::AppImage& image, FleetSettings settings, std::vector<ModuleState> modules,
             FleetView& view, FleetRecord& record)
    : image_(image),
      settings_(std::move(settings)),
      modules_(std::move(modules)),
      view_(view),
      record_(record),
      loop_(*net::EventLoop::Current()),
      jobs_(modules_.size()),
      retryTimers_(modules_.size()),
      canary_(modules_.size(), false),
      posted_(loop_) {
    settings_.parallel = std::max<std::size_t>(settings_.parallel, 1);
    if (!settings_.jitter) {
        settings_.jitter = [engine = std::make_shared<std::minstd_rand>(std::random_device{}())] {
            return std::uniform_real_distribution<double>(0, 1)(*engine);
        };
    }
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        if (modules_[i].phase != Phase::Waiting) continue;
        ready_.push_back(i);
        if (canaryLeft_ < settings_.canary) {
            canary_[i] = true;
            ++canaryLeft_;
        }
    }
}

Fleet::~Fleet() = default;

void Fleet::Run() {
    ticks_ = net::ScopedTimer(loop_, std::chrono::seconds(1), net::Repeat::Yes, [this] { Tick(); });
    StartMore();
    loop_.RunUntil([this] {
        return open_ == 0 && std::ranges::all_of(modules_, [](const ModuleState& m) {
                   return m.phase == Phase::Done;
               });
    });
    ticks_.Stop();
    view_.Finished(modules_);
}

void Fleet::Stop() {
    EndTheRest();
    for (const auto& job : jobs_) {
        if (job && !job->Session().Ending()) job->Session().Cancel();
    }
    if (comeback_ != nullptr) comeback_->Cancel();
}

bool Fleet::MayStart(std::size_t index) const {
    return !halted_ && (canary_[index] || canaryLeft_ == 0);
}

void Fleet::StartMore() {
    // The canaries lead the queue (a retried module goes back to its front), so a module that
    // may not start yet holds back every one behind it.
    while (open_ < settings_.parallel && !ready_.empty() && MayStart(ready_.front())) {
        const std::size_t index = ready_.front();
        ready_.pop_front();
        ModuleState& module = modules_[index];
        if (module.phase != Phase::Waiting) continue;
        if (module.result.attempts++ == 0) module.started = Clock::now();
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

void Fleet::OnExchangeEnded(std::size_t index) {
    // The session's socket may still be reading on the stack: close it from the loop.
    posted_.Post([this, index] {
        jobs_[index].reset();
        --open_;
        StartMore();
    });
    ModuleState& module = modules_[index];
    if (!halted_ && IsTransient(module.result.outcome) &&
        module.result.attempts <= settings_.retries) {
        RetryLater(index);
    } else if (module.result.outcome == outcome::kProgrammed && comeback_ != nullptr) {
        module.phase = Phase::Confirming;
        view_.Changed(modules_, index);
        comeback_->Await(index, module.hostOrder, module.macs);
    } else {
        Finish(index);
    }
}

void Fleet::RetryLater(std::size_t index) {
    ModuleState& module = modules_[index];
    record_.AttemptEnded(module);
    module.phase = Phase::Retrying;
    view_.Changed(modules_, index);
    const auto delay = RetryDelay(settings_.retryDelay, module.result.attempts, settings_.jitter());
    retryTimers_[index] = net::ScopedTimer(loop_, delay, net::Repeat::No, [this, index] {
        retryTimers_[index].Stop();
        modules_[index].phase = Phase::Waiting;
        ready_.push_front(index);
        view_.Changed(modules_, index);
        StartMore();
    });
}

void Fleet::Finish(std::size_t index) {
    ModuleState& module = modules_[index];
    module.phase = Phase::Done;
    if (module.result.attempts > 0) {
        record_.AttemptEnded(module);
        const std::chrono::duration<double> took = Clock::now() - module.started;
        module.result.seconds = took.count();
    }
    record_.ModuleEnded(module);
    view_.Changed(modules_, index);
    if (module.result.outcome == outcome::kProgrammed) {
        if (canary_[index]) --canaryLeft_;
        return;
    }
    ++failures_;
    const bool tooMany = settings_.maxFailures && failures_ >= *settings_.maxFailures;
    if (canary_[index] || tooMany) EndTheRest();
}

void Fleet::EndTheRest() {
    if (halted_) return;
    halted_ = true;
    ready_.clear();
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        ModuleState& module = modules_[i];
        if (module.phase != Phase::Waiting && module.phase != Phase::Retrying) continue;
        retryTimers_[i].Stop();
        // One that was tried keeps what its last attempt ended with.
        if (module.result.attempts == 0) {
            module.result.outcome = outcome::kNotStarted;
            module.result.detail.clear();
        }
        Finish(i);
    }
}

void Fleet::OnConfirmed(std::size_t index, std::string_view application) {
    ModuleState& module = modules_[index];
    if (module.phase != Phase::Confirming) return;
    module.result.confirmed = true;
    module.result.application = application;
    Finish(index);
    posted_.Post([this] { StartMore(); });
}

void Fleet::OnNotConfirmed(std::size_t index) {
    ModuleState& module = modules_[index];
    if (module.phase != Phase::Confirming) return;
    module.result.confirmed = false;
    module.result.outcome = outcome::kNotConfirmed;
    Finish(index);
    posted_.Post([this] { StartMore(); });
}

}  // namespace omblor::ctl
