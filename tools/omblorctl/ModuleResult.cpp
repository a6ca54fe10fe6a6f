#include "ModuleResult.h"

#include <cstring>

namespace omblor::ctl {

namespace {

// The session's failure texts are module-style line texts starting with a blank.
std::string_view WithoutLeadingBlank(std::string_view text) {
    if (text.starts_with(' ')) text.remove_prefix(1);
    return text;
}

std::string Reason(int error) {
    return error != 0 ? std::strerror(error) : std::string();
}

}  // namespace

void DescribeEnd(ModuleResult& result, const update::UpdateSession& session, update::Outcome ended,
                 std::string_view text, std::string_view fileHeader, bool credentialsMissing) {
    using update::Failure;
    result.detail.clear();
    // Once the tool has refused the platform, that is the outcome, whatever the module did next.
    if (session.RefusedPlatform()) {
        result.outcome = outcome::kRefused;
        result.detail = "platform " + session.PlatformName() + ", file " + std::string(fileHeader);
        return;
    }
    switch (ended) {
        case update::Outcome::Completed:
            result.outcome = outcome::kProgrammed;
            return;
        case update::Outcome::Cancelled:
            result.outcome = credentialsMissing ? outcome::kCredentialsNeeded : outcome::kCancelled;
            return;
        case update::Outcome::Failed:
            break;
    }
    switch (session.FailureCause()) {
        case Failure::TimedOut:
            result.outcome = outcome::kTimedOut;
            return;
        case Failure::Connect:
            result.outcome = outcome::kConnectError;
            result.detail = Reason(session.SocketError());
            return;
        case Failure::Receive:
            result.outcome = outcome::kReceiveError;
            result.detail = Reason(session.SocketError());
            return;
        case Failure::LineTooLong:
        case Failure::Closed:
            result.outcome = outcome::kReceiveError;
            result.detail = WithoutLeadingBlank(text);
            return;
        case Failure::None:
        case Failure::ModuleLine:
            break;
    }
    result.outcome = outcome::kModuleError;
    result.detail = WithoutLeadingBlank(text);
}

}  // namespace omblor::ctl
