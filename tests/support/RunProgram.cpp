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
    BackgroundProgram running(program, args, env, input);
    return running.Finish(limit);
}

BackgroundProgram::BackgroundProgram(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const std::map<std::string, std::string>& env,
                                     std::string_view input) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
        std::string path =
            program.find('/') == std::string::npos ? BinDir() + "/" + program : program;
        std::vector<std::string> copy = args;
        std::vector<char*> argv{path.data()};
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    out_ = out[0];
    // Input is small; a broken pipe (the program ended early) is fine.
    ::signal(SIGPIPE, SIG_IGN);
    [[maybe_unused]] const auto n = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
}

BackgroundProgram::~BackgroundProgram() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
}

bool BackgroundProgram::ReadSome(int timeoutMs) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return true;
    char buffer[4096];
    const auto n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool BackgroundProgram::WaitForLine(std::string_view prefix, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        std::size_t start = 0;
        for (std::size_t nl; (nl = output_.find('\n', start)) != std::string::npos;
             start = nl + 1) {
            if (std::string_view(output_).substr(start).starts_with(prefix)) return true;
        }
        if (!ReadSome(50)) return false;
    }
    return false;
}

ProgramResult BackgroundProgram::Finish(std::chrono::seconds limit) {
    if (pid_ <= 0) return {};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const bool open = ReadSome(50);
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            while (ReadSome(0)) {
                pollfd p{out_, POLLIN, 0};
                if (::poll(&p, 1, 0) <= 0) break;
            }
            ended_ = true;
            return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output_};
        }
        if (!open) ::poll(nullptr, 0, 20);  // output closed; the exit is on its way
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    ended_ = true;
    return {-1, output_};
}

}  // namespace omblor::testing
