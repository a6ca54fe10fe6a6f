// How long a module waits before it is tried again: the base delay before the first retry, twice
// as long before each further one, stretched by up to a quarter at random so that modules that
// failed together (a switch that went down) do not all come back in the same instant.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>

namespace omblor::ctl {

// `retry` counts from 1; `jitter` is a random number in [0, 1).
inline std::chrono::milliseconds RetryDelay(std::chrono::milliseconds base, unsigned retry,
                                            double jitter) {
    // No wait grows past an hour: a module that long away is better run again later.
    constexpr double kLongest = 3600.0 * 1000;
    const int doublings = static_cast<int>(std::clamp(retry, 1U, 32U)) - 1;
    const double doubled =
        std::min(std::ldexp(static_cast<double>(base.count()), doublings), kLongest);
    return std::chrono::milliseconds(std::llround(doubled * (1.0 + 0.25 * jitter)));
}

}  // namespace omblor::ctl
