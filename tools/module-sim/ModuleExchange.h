// One accepted connection playing the module's side of an update: it writes the script's lines,
// each once the tool has answered the lines before it, and checks every byte the tool writes
// back against the reply that line calls for. It never waits: lines go out from the loop, the
// image is read in large chunks straight into its buffer, and partial writes resume on
// write readiness. It does not accept connections or print; the server and main do.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "module-sim/Script.h"
#include "module-sim/SessionReport.h"
#include "module-sim/SimOptions.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::modulesim {

class ModuleExchange {
  public:
    using FinishedCallback = std::function<void(const SessionReport&)>;

    // `transcriptFd` (not owned, -1 for none) gets every byte received. `on_finished` runs once,
    // from inside one of the session's own handlers: it must not destroy the session there.
    // `on_reboot` (may be empty) runs when the reboot answer R has come, the moment a module
    // decides to reboot.
    ModuleExchange(int number, platform::UniqueFd connection, const SimOptions& options,
                   const Script& script, int transcriptFd, FinishedCallback on_finished,
                   std::function<void()> on_reboot = {});
    ModuleExchange(const ModuleExchange&) = delete;
    ModuleExchange& operator=(const ModuleExchange&) = delete;
    ~ModuleExchange() = default;

    void Start();
    // Ends the session from outside (time limit, signal). After the scripted end the reached
    // outcome stands; before it, `outcome` does.
    void Stop(Outcome outcome);
    [[nodiscard]] bool IsFinished() const { return finished_; }

  private:
    using Clock = std::chrono::steady_clock;

    void SendNext();
    void SendGroup();
    // The rest of a split line after its pause; a dripping line one byte per pause.
    void WriteRestLater();
    void PauseReading();
    void AfterGroupWritten();
    void CheckEnd();
    void Abandon(Outcome outcome, std::string_view text);
    void Write(std::string_view bytes);
    void Flush();
    void OnReady(unsigned ready);
    void Read();
    void Consume(std::span<const std::uint8_t> bytes);
    void ReplyDone();
    void PopSatisfied();
    void OnCredentials();
    void OnHeader();
    void OnImageComplete();
    void OnReboot(std::uint8_t byte);
    void PeerGone();
    void Finish(Outcome outcome);
    void Mismatch(std::string text);
    void Record(std::span<const std::uint8_t> bytes);
    void SaveImage();

    [[nodiscard]] bool AwaitingImage() const;
    // Where the image ends for this module: its length, or where --close-in-image cuts it.
    [[nodiscard]] std::size_t ImageEnd() const;
    // Image bytes it may take now under --rate.
    [[nodiscard]] std::size_t ImageAllowance() const;

    int number_ = 0;
    platform::UniqueFd fd_;
    const SimOptions& options_;
    const Script& script_;
    int transcriptFd_ = -1;
    FinishedCallback on_finished_;
    std::function<void()> on_reboot_;

    net::ScopedWatch watch_;
    net::ScopedTimer splitTimer_;
    net::ScopedTimer delayTimer_;
    std::size_t delayedLine_ = SIZE_MAX;  // the line whose delay has run out
    net::ScopedTimer endTimer_;
    net::ScopedTimer rateTimer_;

    std::size_t next_ = 0;              // next script line to send
    std::deque<std::size_t> awaiting_;  // lines sent whose reply is not complete yet, oldest first
    bool splitPending_ = false;
    bool readPaused_ = false;  // by --rate
    std::string splitRest_;
    std::size_t groupFirst_ = 0;  // the group of lines being written: [groupFirst_, next_)
    bool silent_ = false;
    bool ended_ = false;  // the scripted end is reached; waiting for the tool to close
    bool finished_ = false;
    std::optional<Outcome> endOutcome_;

    std::string out_;  // bytes written by us but not yet taken by the kernel
    std::vector<std::uint8_t> scratch_;
    std::string reply_;  // the credentials or header reply collected so far
    bool headerKnown_ = false;
    // Kept only when it is to be saved; otherwise counted and let go.
    std::vector<std::uint8_t> image_;
    std::size_t imageLength_ = 0;
    std::size_t imageGot_ = 0;
    Clock::time_point imageStart_{};
    std::uint64_t unexpected_ = 0;  // bytes that came while no reply was due
    std::uint64_t late_ = 0;        // bytes after the scripted end
    bool transcriptFailed_ = false;

    SessionReport report_;
};

}  // namespace omblor::modulesim
