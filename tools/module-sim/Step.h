// The steps of the update exchange as the module plays them, in the order it plays them, and
// the outcomes a session can end with. Shared by the options, the script and the session.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace omblor::modulesim {

enum class Step { Platform, Credentials, Header, Image, Progress, Reboot, Complete };

inline constexpr std::array<Step, 7> kAllSteps = {Step::Platform, Step::Credentials, Step::Header,
                                                  Step::Image,    Step::Progress,    Step::Reboot,
                                                  Step::Complete};

std::string_view StepName(Step step);
std::optional<Step> StepFromName(std::string_view name);
inline std::size_t StepIndex(Step step) {
    return static_cast<std::size_t>(step);
}

// How one connection ended, from the module's point of view.
enum class Outcome {
    Completed,  // every scripted line sent and every reply received
    Failed,     // the scripted failure line was sent
    Refused,    // the tool refused the platform (eight zero bytes); the refusal line was sent
    Denied,     // the credentials did not match; the denial line was sent
    Dropped,    // the module closed the connection as scripted
    Closed,     // the tool closed the connection before the scripted end
    Aborted,    // the tool sent something the module cannot go on with
    Timeout,    // the simulator's own time limit ran out
    Stopped,    // a signal stopped the simulator
};

std::string_view OutcomeName(Outcome outcome);
std::optional<Outcome> OutcomeFromName(std::string_view name);

}  // namespace omblor::modulesim
