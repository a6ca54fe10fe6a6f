// Runs one of the project's executables with a given stdin text and environment, and collects its
// stdout and exit status. The child is killed if it outlives the limit, so a hang fails the test
// instead of stalling the suite.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>
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

// A program left running while the test does other things (the simulated module): started with
// `input` on its stdin and its stdout on a pipe, waited for until it prints a given line, then
// collected.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {},
                      std::string_view input = {});
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;
    ~BackgroundProgram();

    // Reads its output until a line starting with `prefix` shows; false if it ends or the limit
    // passes first.
    bool WaitForLine(std::string_view prefix,
                     std::chrono::seconds limit = std::chrono::seconds(10));
    // Waits for it to end (killing it after `limit`) and returns its exit code and all output.
    ProgramResult Finish(std::chrono::seconds limit = std::chrono::seconds(60));

  private:
    bool ReadSome(int timeoutMs);
    int pid_ = -1;
    int out_ = -1;
    std::string output_;
    bool ended_ = false;
};

}  // namespace omblor::testing
