// The simulator's discovery role as one call, for `module-sim discover`: parses its own
// options, plays the modules until the time limit or a signal, prints its log on stdout and
// returns the exit code (0, or 2 for a usage error or a refusal to start).
#pragma once

#include <string>
#include <vector>

namespace omblor::modulesim {

int RunDiscoveryRole(const std::vector<std::string>& args);

}  // namespace omblor::modulesim
