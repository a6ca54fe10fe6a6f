// One update exchange with one module, without a window: it owns the connection, answers the
// module's lines by their codes, counts silent ticks, and tells its owner what happened as typed
// events (no sentences: each view words them). The progress dialog is one owner (its bar, status
// line and message boxes); omblorctl runs many sessions on one loop. Once the session has begun
// to end (error, cancel or completion), later lines and ticks change nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "image/AppImage.h"
#include "net/EventLoop.h"
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

// How a session ended.
enum class SessionResult { Completed, Failed, Cancelled };

// What went wrong. A failure ends the session; a connect error without a socket and a send
// error are also told on their own while the session goes on.
enum class Failure {
    None,
    ConnectError,       // the connection could not be made
    ReceiveError,       // reading failed
    SendError,          // the image could not go out whole
    LineTooLong,        // a line beyond the line buffer
    ClosedByModule,     // the module closed the stream (only with EndOnLostConnection)
    TimedOut,           // 30 ticks without a line
    ModuleError,        // an error line; the text is the module's
    CredentialsNeeded,  // the module asked and the owner gave none (the session is cancelled)
};

struct SessionEnd {
    SessionResult result = SessionResult::Cancelled;
    Failure failure = Failure::None;
    int error = 0;           // the system's error number behind a connect or receive error
    std::string moduleText;  // for ModuleError: the line from its fourth character
    // What the kind cannot say: the module's address and the system's reason, the last line
    // before a time-out, the start of an over-long line. Empty when there is nothing more.
    std::string details;
};

enum class LostConnection { WaitForTimeOut, EndAtOnce };

// Everything the session tells its owner, in the order the exchange goes.
class UpdateSessionOwner {
  public:
    virtual void OnPlatformNamed(std::string_view /*name*/) {}
    // The module wants credentials; nothing means there are none (the session is cancelled).
    // May run a modal loop, during which the session may end.
    virtual std::optional<Credentials> OnCredentialsNeeded() = 0;
    virtual void OnHeaderAnswered(HeaderAnswer /*answer*/) {}
    // Image bytes the connection has taken, told as they go until all are out.
    virtual void OnImageSent(std::uint64_t /*sent*/, std::uint64_t /*total*/) {}
    // The module's progress: its code less 300.
    virtual void OnProgress(int /*position*/) {}
    virtual void OnRebootAnswered(RebootChoice /*choice*/) {}
    // Trouble that does not end the session: ConnectError (no socket could be made, `error`
    // says why) or SendError.
    virtual void OnTrouble(Failure failure, int error) = 0;
    virtual void OnEnded(const SessionEnd& end) = 0;

  protected:
    ~UpdateSessionOwner() = default;
};

class UpdateSession final : private UpdateSocketOwner {
  public:
    static constexpr int kSilentTicks = 30;

    // `image` is borrowed and must outlive the session.
    UpdateSession(UpdateSessionOwner& owner, const image::AppImage& image, std::uint32_t address,
                  std::uint16_t port, RebootChoice reboot);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Whether the session ends at once, as failed, when the connection is gone without an error
    // of its own: the module closed the stream, or no socket could be made. The window leaves
    // both to the silence time-out (the default); a script need not wait 30 s for them.
    void EndOnLostConnection(LostConnection lost) { lost_ = lost; }

    // Starts connecting. The session may end before this returns.
    void Start();
    // One tick of the silence count; the 30th silent one ends the session as timed out.
    void Tick();
    // The operator's cancel: a completed update still counts as completed.
    void Cancel();

    [[nodiscard]] bool Ending() const { return ending_; }
    // The platform the module named.
    [[nodiscard]] const std::string& PlatformName() const { return platformName_; }
    // Image bytes handed to the connection.
    [[nodiscard]] std::uint32_t ImageBytesSent() const { return imageBytesSent_; }

  private:
    void OnModuleLine(std::int32_t code, char* line) override;
    void OnSocketFailed(SocketFailure failure, int error, std::string_view details) override;
    void OnSocketNotMade(int error) override;
    void OnModuleClosed() override;
    void AnswerCredentials();
    void SendImage();
    void TellImageSent();
    // Ends as failed unless the session is ending already.
    void Fail(const SessionEnd& end);
    void End(const SessionEnd& end);
    void SendBytes(const void* data, std::size_t length);

    UpdateSessionOwner& owner_;
    const image::AppImage& image_;
    std::uint32_t address_ = 0;
    std::uint16_t port_ = kUpdatePort;
    RebootChoice reboot_ = RebootChoice::Reboot;
    std::unique_ptr<TarvikUpdateSocket> socket_;
    std::string platformName_;
    int silence_ = 0;
    bool completed_ = false;
    bool ending_ = false;
    LostConnection lost_ = LostConnection::WaitForTimeOut;
    // For the time-out's details: the last line and when it came (or when the session began).
    std::string lastLine_;
    std::chrono::steady_clock::time_point lastHeard_;
    std::uint32_t imageBytesSent_ = 0;
    // Tells the image's progress while the connection still holds some of it.
    net::ScopedTimer sendWatch_;
};

}  // namespace omblor::update
