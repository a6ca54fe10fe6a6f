#include "ProgressView.h"

#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "Output.h"
#include "Terminal.h"
#include "platform/WriteAll.h"
#include "text/OutsideText.h"

namespace omblor::ctl {

namespace {

using Phase = ModuleState::Phase;

std::string StatusOf(const ModuleState& module) {
    switch (module.phase) {
        case Phase::Waiting:
            return "waiting";
        case Phase::Connecting:
            return "connecting";
        case Phase::Exchanging:
            switch (module.step) {
                case ModuleState::Step::Programming:
                    return "programming " + std::to_string(module.percent) + "%";
                case ModuleState::Step::SendingImage:
                    return "sending image";
                case ModuleState::Step::Talking:
                    break;
            }
            return "exchanging";
        case Phase::Retrying:
            return "waiting to try again";
        case Phase::Confirming:
            return "waiting for it to come back";
        case Phase::Done:
            break;
    }
    return text::EscapeOutsideText(OutcomeText(module.result));
}

class PlainView final : public ProgressView {
  public:
    void Changed(std::span<const ModuleState> modules, std::size_t index) override {
        const ModuleState& module = modules[index];
        if (module.phase != Phase::Done) return;
        platform::WriteAll(STDERR_FILENO, module.result.address + ' ' + StatusOf(module) + '\n');
    }
    void Finished(std::span<const ModuleState> /*modules*/) override {}
};

class TerminalView final : public ProgressView {
  public:
    void Changed(std::span<const ModuleState> modules, std::size_t /*index*/) override {
        modules_ = modules;
        if (!redraw_.Active()) {
            redraw_ = net::ScopedTimer(std::chrono::milliseconds(100), net::Repeat::No, [this] {
                redraw_.Stop();
                Draw();
            });
        }
    }
    void Finished(std::span<const ModuleState> modules) override {
        redraw_.Stop();
        modules_ = modules;
        Draw();
        if (summary_) platform::WriteAll(STDERR_FILENO, "\n");
    }

  private:
    void Draw() {
        std::string out;
        if (drawn_ > 0) out += "\x1b[" + std::to_string(drawn_) + "A";
        summary_ = modules_.size() + 1 > StderrRows();
        if (summary_) {
            out += "\r\x1b[K" + Summary();
            drawn_ = 0;
        } else {
            for (const ModuleState& module : modules_) {
                const std::string& address = module.result.address;
                out += "\r\x1b[K" + address;
                out.append(address.size() < 16 ? 16 - address.size() : 1, ' ');
                out += StatusOf(module) + '\n';
            }
            drawn_ = modules_.size();
        }
        platform::WriteAll(STDERR_FILENO, out);
    }
    std::string Summary() const {
        std::size_t programmed = 0, failed = 0, running = 0, waiting = 0;
        for (const ModuleState& module : modules_) {
            if (module.phase == Phase::Waiting || module.phase == Phase::Retrying)
                ++waiting;
            else if (module.phase != Phase::Done)
                ++running;
            else if (module.result.outcome == outcome::kProgrammed)
                ++programmed;
            else if (module.result.outcome != outcome::kSkipped)
                ++failed;
        }
        return std::to_string(modules_.size()) + " modules: " + std::to_string(programmed) +
               " programmed, " + std::to_string(failed) + " failed, " + std::to_string(running) +
               " running, " + std::to_string(waiting) + " waiting";
    }
    std::span<const ModuleState> modules_;
    std::size_t drawn_ = 0;
    bool summary_ = false;
    net::ScopedTimer redraw_;
};

}  // namespace

std::unique_ptr<ProgressView> ProgressView::ForStderr() {
    if (StderrIsTerminal()) return std::make_unique<TerminalView>();
    return std::make_unique<PlainView>();
}

}  // namespace omblor::ctl
