#include "update/UpdateSession.h"

#include <climits>

#include "platform/SecureWipe.h"
#include "resources/Messages.h"
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

UpdateSession::UpdateSession(UpdateSessionOwner& owner, const image::AppImage& image,
                             std::uint32_t address, std::uint16_t port, bool rebootWhenComplete)
    : owner_(owner), image_(image), address_(address), port_(port), reboot_(rebootWhenComplete) {}

UpdateSession::~UpdateSession() = default;

void UpdateSession::Start() {
    silence_ = 0;
    lastHeard_ = std::chrono::steady_clock::now();
    socket_ = std::make_unique<TarvikUpdateSocket>(static_cast<UpdateSocketOwner&>(*this), address_, port_);
    if (endOnLost_ && socket_->Handle() == net::INVALID_SOCKET) {
        Fail(Failure::Connect, messages::kConnectError);
    }
}

int UpdateSession::SocketError() const { return socket_ ? socket_->ErrorCode() : 0; }

std::size_t UpdateSession::PendingSendBytes() const {
    return socket_ ? socket_->PendingSendBytes() : 0;
}

void UpdateSession::Tick() {
    if (ending_) return;
    if (++silence_ >= kSilentTicks) {
        const auto silent = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - lastHeard_);
        details_ = SilenceDetails(lastLine_, silent.count());
        Fail(Failure::TimedOut, messages::kTimedOut);
    }
}

void UpdateSession::Cancel() {
    if (ending_) return;
    End(completed_ ? Outcome::Completed : Outcome::Cancelled);
}

void UpdateSession::End(Outcome outcome, std::string_view text) {
    ending_ = true;
    silence_ = 0;
    owner_.OnEnded(outcome, text);
}

void UpdateSession::EndWithError(std::string_view text) {
    // Only the socket calls this, with one of its own texts, so a module line cannot pass for it.
    Failure failure = Failure::Receive;
    if (text == messages::kConnectError) failure = Failure::Connect;
    if (text == messages::kLineTooLong) failure = Failure::LineTooLong;
    Fail(failure, text);
}

void UpdateSession::EndWithErrorDetails(std::string_view text, std::string_view details) {
    if (ending_) return;
    details_ = details;
    EndWithError(text);
}

void UpdateSession::OnModuleClosed() {
    if (endOnLost_) Fail(Failure::Closed, messages::kClosedByModule);
}

void UpdateSession::Fail(Failure failure, std::string_view text) {
    if (ending_) return;
    failure_ = failure;
    End(Outcome::Failed, text);
}

void UpdateSession::OnNotice(std::string_view text) { owner_.OnNotice(text); }

void UpdateSession::SendBytes(const void* data, std::size_t length) {
    if (socket_) socket_->Send(data, static_cast<int>(length));
}

void UpdateSession::OnModuleLine(std::int32_t code, char* line) {
    silence_ = 0;
    lastHeard_ = std::chrono::steady_clock::now();
    lastLine_ = line;
    if (ending_) return;  // the outcome is decided; later lines change nothing
    if (code == code::kPlatform) {
        platformName_ = PlatformNameOf(line);
    } else if (code == code::kCredentials) {
        const std::optional<Credentials> given = owner_.OnCredentialsNeeded();
        if (ending_) return;  // ended while the operator was asked
        if (!given) {
            Cancel();
            return;
        }
        std::string reply = CredentialsReply(given->userName, given->password);
        SendBytes(reply.data(), reply.size());
        platform::SecureWipe(reply);
    } else if (code == code::kImageHeader) {
        const bool accepted = PlatformAccepts(platformName_, image_.headerText);
        refused_ = !accepted;
        const auto header = accepted ? ImageHeaderReply(image_.baseAddress, image_.length)
                                     : ImageHeaderReply(0, 0);
        SendBytes(header.data(), header.size());
    } else if (code == code::kImage) {
        // One send of the whole image, straight from its buffer. The socket queues what the
        // connection cannot take at once by reference (the image outlives the socket) and
        // reports the whole count. An image beyond what one send can count cannot go out
        // whole: a short send, told.
        const bool fits = image_.length <= static_cast<std::uint32_t>(INT_MAX);
        const int sent =
            socket_ && fits ? socket_->SendBorrowed(std::as_bytes(image_.Bytes())) : -1;
        if (sent > 0) imageBytesSent_ += static_cast<std::uint32_t>(sent);
        if (!fits || sent != static_cast<int>(image_.length)) owner_.OnNotice(messages::kSendError);
    } else if (code == code::kRebootChoice) {
        const char choice = reboot_ ? 'R' : 'D';
        SendBytes(&choice, 1);
    } else if (code == code::kComplete || code == code::kCompleteNoReboot) {
        completed_ = true;
        Cancel();  // as the operator's cancel does once the module reported completion
    } else if (code >= code::kFirstError && code <= code::kLastError) {
        // The text from the line's fourth character; a line of just the code shows nothing more.
        std::string_view text(line);
        Fail(Failure::ModuleLine, text.size() > 3 ? text.substr(3) : std::string_view());
    } else if (code > code::kProgressBase) {
        owner_.OnProgress(code - code::kProgressBase);
    }
    owner_.OnLineHandled(code, line);
}

}  // namespace omblor::update
