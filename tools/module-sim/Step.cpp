#include "module-sim/Step.h"

namespace omblor::modulesim {

namespace {
constexpr std::array<std::string_view, 7> kStepNames = {
    "platform", "credentials", "header", "image", "progress", "reboot", "complete"};
constexpr std::array<std::string_view, 9> kOutcomeNames = {"completed", "failed",  "refused",
                                                           "denied",    "dropped", "closed",
                                                           "aborted",   "timeout", "stopped"};
}  // namespace

std::string_view StepName(Step step) {
    return kStepNames[StepIndex(step)];
}

std::optional<Step> StepFromName(std::string_view name) {
    for (const Step step : kAllSteps) {
        if (StepName(step) == name) return step;
    }
    return std::nullopt;
}

std::string_view OutcomeName(Outcome outcome) {
    return kOutcomeNames[static_cast<std::size_t>(outcome)];
}

std::optional<Outcome> OutcomeFromName(std::string_view name) {
    for (std::size_t i = 0; i < kOutcomeNames.size(); ++i) {
        if (kOutcomeNames[i] == name) return static_cast<Outcome>(i);
    }
    return std::nullopt;
}

}  // namespace omblor::modulesim
