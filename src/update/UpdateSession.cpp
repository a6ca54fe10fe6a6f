#include "update/UpdateSession.h"

#include <algorithm>
#include <climits>

#include "platform/SecureWipe.h"
#include "update/ModuleLine.h"
#include "update/TarvikUpdateSocket.h"
#include "update/UpdateTexts.h"

namespace omblor::update {

Credentials::Credentials(std::string user, std::string secret)
    : userName(std::move(user)), password(std::move(secret)) {}

Credentials::~Credentials() {
    platform::SecureWipe(userName);
    platform::SecureWipe(password);
}

namespace {
// How often the image's progress is told while the connection still holds some of it.
constexpr auto kSendRefresh = std::chrono::milliseconds(100);

Failure FailureOf(SocketFailure failure) {
    switch (failure) {
        case SocketFailure::Connect:
            return Failure::ConnectError;
        case SocketFailure::Receive:
            return Failure::ReceiveError;
        case SocketFailure::LineTooLong:
            break;
    }
    return Failure::LineTooLong;
}

SessionEnd Ended(SessionResult result, Failure failure = Failure::None, int error = 0,
                 std::string_view details = {}) {
    SessionEnd end;
    end.result = result;
    end.failure = failure;
    end.error = error;
    end.details = details;
    return end;
}

SessionEnd Failed(Failure failure, int error = 0, std::string_view details = {}) {
    return Ended(SessionResult::Failed, failure, error, details);
}
}  // namespace

UpdateSession::UpdateSession(UpdateSessionOwner& owner, const image::AppImage& image,
                             std::uint32_t address, std::uint16_t port, RebootChoice reboot)
    : owner_(owner), image_(image), address_(address), port_(port), reboot_(reboot) {}

UpdateSession::~UpdateSession() = default;

void UpdateSession::Start() {
    silence_ = 0;
    lastHeard_ = std::chrono::steady_clock::now();
    socket_ = std::make_unique<TarvikUpdateSocket>(static_cast<UpdateSocketOwner&>(*this), address_,
                                                   port_);
}

void UpdateSession::Tick() {
    if (ending_) return;
    if (++silence_ >= kSilentTicks) {
        const auto silent = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - lastHeard_);
        Fail(Failed(Failure::TimedOut, 0, SilenceDetails(lastLine_, silent.count())));
    }
}

void UpdateSession::Cancel() {
    if (ending_) return;
    End(Ended(completed_ ? SessionResult::Completed : SessionResult::Cancelled));
}

void UpdateSession::End(const SessionEnd& end) {
    ending_ = true;
    silence_ = 0;
    sendWatch_.Stop();
    owner_.OnEnded(end);
}

void UpdateSession::Fail(const SessionEnd& end) {
    if (ending_) return;
    End(end);
}

void UpdateSession::OnSocketFailed(SocketFailure failure, int error, std::string_view details) {
    Fail(Failed(FailureOf(failure), error, details));
}

void UpdateSession::OnSocketNotMade(int error) {
    owner_.OnTrouble(Failure::ConnectError, error);
    if (lost_ == LostConnection::EndAtOnce) Fail(Failed(Failure::ConnectError, error));
}

void UpdateSession::OnModuleClosed() {
    if (lost_ == LostConnection::EndAtOnce) Fail(Failed(Failure::ClosedByModule));
}

void UpdateSession::SendBytes(const void* data, std::size_t length) {
    if (socket_) socket_->Send(data, static_cast<int>(length));
}

void UpdateSession::AnswerCredentials() {
    const std::optional<Credentials> given = owner_.OnCredentialsNeeded();
    if (ending_) return;  // ended while the operator was asked
    if (!given) {
        End(Ended(SessionResult::Cancelled, Failure::CredentialsNeeded));
        return;
    }
    std::string reply = CredentialsReply(given->userName, given->password);
    SendBytes(reply.data(), reply.size());
    platform::SecureWipe(reply);
}

void UpdateSession::SendImage() {
    // One send of the whole image, straight from its buffer. The socket queues what the
    // connection cannot take at once by reference (the image outlives the socket) and reports
    // the whole count. An image beyond what one send can count cannot go out whole: a short
    // send, told.
    const bool fits = image_.length <= static_cast<std::uint32_t>(INT_MAX);
    const int sent = socket_ && fits ? socket_->SendBorrowed(std::as_bytes(image_.Bytes())) : -1;
    if (sent > 0) imageBytesSent_ += static_cast<std::uint32_t>(sent);
    if (!fits || sent != static_cast<int>(image_.length)) {
        owner_.OnTrouble(Failure::SendError, 0);
        if (ending_) return;
    }
    TellImageSent();
    if (!ending_ && socket_ && socket_->PendingSendBytes() > 0) {
        sendWatch_ = net::ScopedTimer(kSendRefresh, net::Repeat::Yes, [this] { TellImageSent(); });
    }
}

void UpdateSession::TellImageSent() {
    const std::size_t pending = socket_ ? socket_->PendingSendBytes() : 0;
    if (pending == 0) sendWatch_.Stop();
    owner_.OnImageSent(image_.length - std::min<std::size_t>(pending, image_.length),
                       image_.length);
}

void UpdateSession::OnModuleLine(std::int32_t code, char* line) {
    silence_ = 0;
    lastHeard_ = std::chrono::steady_clock::now();
    lastLine_ = line;
    if (ending_) return;  // the outcome is decided; later lines change nothing
    if (code == code::kPlatform) {
        platformName_ = PlatformNameOf(line);
        owner_.OnPlatformNamed(platformName_);
    } else if (code == code::kCredentials) {
        AnswerCredentials();
    } else if (code == code::kImageHeader) {
        const bool accepted = PlatformAccepts(platformName_, image_.headerText);
        const auto header =
            accepted ? ImageHeaderReply(image_.baseAddress, image_.length) : ImageHeaderReply(0, 0);
        SendBytes(header.data(), header.size());
        owner_.OnHeaderAnswered(accepted ? HeaderAnswer::Sent : HeaderAnswer::Refused);
    } else if (code == code::kImage) {
        SendImage();
    } else if (code == code::kRebootChoice) {
        const char choice = reboot_ == RebootChoice::Reboot ? 'R' : 'D';
        SendBytes(&choice, 1);
        owner_.OnRebootAnswered(reboot_);
    } else if (code == code::kComplete || code == code::kCompleteNoReboot) {
        completed_ = true;
        Cancel();  // as the operator's cancel does once the module reported completion
    } else if (code >= code::kFirstError && code <= code::kLastError) {
        // The text from the line's fourth character; a line of just the code has none.
        const std::string_view text(line);
        SessionEnd end = Failed(Failure::ModuleError);
        end.moduleText = text.size() > 3 ? text.substr(3) : std::string_view();
        Fail(end);
    } else if (code > code::kProgressBase) {
        owner_.OnProgress(code - code::kProgressBase);
    }
}

}  // namespace omblor::update
