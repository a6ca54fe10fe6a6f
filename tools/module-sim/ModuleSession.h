// One connection of the simulated module: drives the update exchange from the module's side,
// step by step as the options say, checks what the tool sends back, and reports how it went.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "SimOptions.h"
#include "net/EventLoop.h"
#include "net/UniqueFd.h"

namespace omblor::sim {

struct SessionResult {
    bool scriptedEnd = false;  // the exchange went as the options asked
    std::string summary;       // "key=value ..." for the result line
};

class ModuleSession {
public:
    using Done = std::function<void(const SessionResult&)>;
    ModuleSession(net::UniqueFd connection, const SimOptions& options, std::FILE* transcript,
                  Done done);
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;

private:
    enum class Want { Nothing, Line, Bytes };

    void Begin(Step step);
    void Line(std::string text);
    void Flush();
    void WriteOut();
    void OnReadable();
    void Feed(std::string_view bytes);
    void Got();
    void Finish(bool scriptedEnd, std::string_view how);
    void Expect(Want want, std::size_t count = 0);

    net::UniqueFd fd_;
    const SimOptions& options_;
    std::FILE* transcript_ = nullptr;
    Done done_;
    net::ScopedWatch watch_;
    net::ScopedTimer delay_;

    Step step_ = Step::Platform;
    Want want_ = Want::Nothing;
    std::size_t need_ = 0;
    std::string line_;
    std::vector<std::uint8_t> bytes_;
    std::string batch_;   // lines waiting to go out together
    std::string outbox_;  // bytes the connection has not taken yet
    std::vector<std::string> queued_;  // lines waiting for their delay
    bool finished_ = false;
    bool endOnClose_ = false;  // the script is over; the tool's close ends the session well

    std::uint32_t base_ = 0;
    std::uint32_t length_ = 0;
    std::uint64_t received_ = 0;
    std::uint64_t unexpected_ = 0;
    std::string credentials_ = "-";
    std::string header_ = "-";
    char reboot_ = '-';
};

}  // namespace omblor::sim
