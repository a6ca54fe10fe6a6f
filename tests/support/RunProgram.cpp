#include "support/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace omblor::testing {

std::string BinDir() {
    const char* dir = std::getenv("OMBLOR_BIN_DIR");
    return dir != nullptr ? dir : ".";
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input, const std::map<std::string, std::string>& env,
                         std::chrono::seconds limit) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> argv;
        std::string path = program.find('/') == std::string::npos ? BinDir() + "/" + program : program;
        argv.push_back(path.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    // Input is small; a broken pipe (the program ended early) is fine.
    ::signal(SIGPIPE, SIG_IGN);
    [[maybe_unused]] auto n = ::write(in[1], input.data(), input.size());
    ::close(in[1]);

    ProgramResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const auto got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0) break;
        result.out.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace omblor::testing
