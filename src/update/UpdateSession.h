// One update exchange with one module, without a window: it owns the connection, answers the
// module's lines by their codes, counts silent ticks, and reports to its owner. The progress
// dialog is one owner (it turns reports into its bar and message boxes); omblorctl runs many
// sessions on one loop. Once the session has begun to end (error, cancel or completion), later
// lines and ticks change nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "image/AppImage.h"
#include "update/UpdateProtocol.h"
#include "update/UpdateSocketOwner.h"

namespace omblor::update {

class TarvikUpdateSocket;

// What the operator typed for a module that asks; wiped when it goes.
struct Credentials {
    std::string userName;
    std::string password;
    Credentials() = default;
    Credentials(std::string user, std::string secret);
    Credentials(const Credentials&) = default;
    Credentials(Credentials&&) = default;
    Credentials& operator=(const Credentials&) = default;
    Credentials& operator=(Credentials&&) = default;
    ~Credentials();
};

enum class Outcome { Completed, Failed, Cancelled };

// Why a session failed, for owners that tell causes apart by more than the text.
enum class Failure {
    None,
    ModuleLine,   // an error line; the text is the module's
    TimedOut,     // 30 ticks without a line
    Connect,      // the connection could not be made
    Receive,      // reading failed
    LineTooLong,  // a line beyond the line buffer
    Closed,       // the module closed the stream (only with EndOnLostConnection)
};

class UpdateSessionOwner {
public:
    // A line was read and handled (it may have ended the session).
    virtual void OnLineHandled(std::int32_t /*code*/, std::string_view /*line*/) {}
    virtual void OnProgress(int position) = 0;
    // The module wants credentials; nothing means the operator cancelled. May run a modal loop,
    // during which the session may end.
    virtual std::optional<Credentials> OnCredentialsNeeded() = 0;
    // Something to tell that does not end the session ("Send Error", a socket that could not
    // be made).
    virtual void OnNotice(std::string_view text) = 0;
    // The end: for Failed, `text` is what follows "Error:" (FailureDetails() says more).
    virtual void OnEnded(Outcome outcome, std::string_view text) = 0;

protected:
    ~UpdateSessionOwner() = default;
};

class UpdateSession final : private UpdateSocketOwner {
public:
    static constexpr int kSilentTicks = 30;

    // `image` is borrowed and must outlive the session.
    UpdateSession(UpdateSessionOwner& owner, const image::AppImage& image, std::uint32_t address,
                  std::uint16_t port, bool rebootWhenComplete);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Ends the session at once, as failed, when the connection is gone without an error of its
    // own: the module closed the stream, or no socket could be made. Off by default: the window
    // leaves both to the silence time-out; a script need not wait 30 s for them.
    void EndOnLostConnection(bool on) { endOnLost_ = on; }

    // Starts connecting. The session may end before this returns.
    void Start();
    // One tick of the silence count; the 30th silent one ends the session as timed out.
    void Tick();
    // The operator's cancel: a completed update still counts as completed.
    void Cancel();

    [[nodiscard]] bool Ending() const { return ending_; }
    // The platform the module named, and whether the tool refused to send the image to it.
    [[nodiscard]] const std::string& PlatformName() const { return platformName_; }
    [[nodiscard]] bool RefusedPlatform() const { return refused_; }
    // Image bytes handed to the connection.
    [[nodiscard]] std::uint32_t ImageBytesSent() const { return imageBytesSent_; }
    [[nodiscard]] Failure FailureCause() const { return failure_; }
    // The socket layer's error number behind a Connect or Receive failure; 0 when none.
    [[nodiscard]] int SocketError() const;
    // What a failure's text cannot say: the module's address and the system's reason, the last
    // line before a time-out, the start of an over-long line. Empty when there is nothing more.
    [[nodiscard]] const std::string& FailureDetails() const { return details_; }
    // Bytes the connection has not taken yet.
    [[nodiscard]] std::size_t PendingSendBytes() const;

private:
    void OnModuleLine(std::int32_t code, char* line) override;
    // From the socket: a connect or receive failure, or a line too long.
    void EndWithError(std::string_view text) override;
    void EndWithErrorDetails(std::string_view text, std::string_view details) override;
    void OnNotice(std::string_view text) override;
    void OnModuleClosed() override;
    void Fail(Failure failure, std::string_view text);
    void End(Outcome outcome, std::string_view text = {});
    void SendBytes(const void* data, std::size_t length);

    UpdateSessionOwner& owner_;
    const image::AppImage& image_;
    std::uint32_t address_ = 0;
    std::uint16_t port_ = kUpdatePort;
    bool reboot_ = true;
    std::unique_ptr<TarvikUpdateSocket> socket_;
    std::string platformName_;
    int silence_ = 0;
    bool completed_ = false;
    bool refused_ = false;
    bool ending_ = false;
    bool endOnLost_ = false;
    Failure failure_ = Failure::None;
    std::string details_;
    // For the time-out's details: the last line and when it came (or when the session began).
    std::string lastLine_;
    std::chrono::steady_clock::time_point lastHeard_;
    std::uint32_t imageBytesSent_ = 0;
};

}  // namespace omblor::update
