// Runs one of the project's executables with a given stdin text and environment, and collects its
// stdout and exit status. The child is killed if it outlives the limit, so a hang fails the test
// instead of stalling the suite.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace omblor::testing {

struct ProgramResult {
    int exitCode = -1;  // -1 when it was killed
    std::string out;
};

std::string BinDir();
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input,
                         const std::map<std::string, std::string>& env = {},
                         std::chrono::seconds limit = std::chrono::seconds(60));

}  // namespace omblor::testing
