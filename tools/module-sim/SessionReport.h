// What one connection got, as the module saw it: the outcome against the expected one, each
// reply in short form, and every way the tool's bytes differed from what the module expects.
// Formatting it as the one summary line lives here so tests and scripts read the same text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "module-sim/Step.h"

namespace omblor::modulesim {

struct SessionReport {
    int number = 0;
    int connection = 1;  // which of the module's connections, from 1
    std::string module;  // the address it listened on
    Outcome outcome = Outcome::Closed;
    Outcome expected = Outcome::Completed;
    std::optional<Step> at;         // step of the last line sent
    std::string credentials = "-";  // ok, wrong, malformed, or - when none came
    std::string header = "-";       // ok, refused, or -
    std::optional<std::uint32_t> base;
    std::optional<std::uint32_t> length;
    std::uint64_t imageReceived = 0;
    std::string reboot = "-";  // R, D, another byte in hex, or -
    std::uint64_t received = 0;
    std::optional<double> imageMilliseconds;  // from the 103 line to the last image byte
    std::vector<std::string> mismatches;

    [[nodiscard]] bool Passed() const { return outcome == expected && mismatches.empty(); }
    // "result ok|unexpected session=N outcome=... expected=... ..." without a newline.
    [[nodiscard]] std::string Format() const;
};

}  // namespace omblor::modulesim
