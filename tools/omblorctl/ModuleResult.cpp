#include "ModuleResult.h"

#include <cstring>

namespace omblor::ctl {

namespace {

// The module's text follows its code, usually after a blank that is no part of the words.
std::string_view WithoutLeadingBlank(std::string_view text) {
    if (text.starts_with(' ')) text.remove_prefix(1);
    return text;
}

std::string Reason(int error) {
    return error != 0 ? std::strerror(error) : std::string();
}

}  // namespace

bool IsTransient(std::string_view word) {
    return word == outcome::kConnectError || word == outcome::kTimedOut ||
           word == outcome::kReceiveError;
}

void DescribeEnd(ModuleResult& result, const update::SessionEnd& end,
                 const std::string* refusedPlatform, std::string_view fileHeader) {
    using update::Failure;
    result.detail.clear();
    // Once the tool has refused the platform, that is the outcome, whatever the module did next.
    if (refusedPlatform != nullptr) {
        result.outcome = outcome::kRefused;
        result.detail = "platform " + *refusedPlatform + ", file " + std::string(fileHeader);
        return;
    }
    switch (end.result) {
        case update::SessionResult::Completed:
            result.outcome = outcome::kProgrammed;
            return;
        case update::SessionResult::Cancelled:
            result.outcome = end.failure == Failure::CredentialsNeeded ? outcome::kCredentialsNeeded
                                                                       : outcome::kCancelled;
            return;
        case update::SessionResult::Failed:
            break;
    }
    switch (end.failure) {
        case Failure::TimedOut:
            result.outcome = outcome::kTimedOut;
            return;
        case Failure::ConnectError:
            result.outcome = outcome::kConnectError;
            result.detail = Reason(end.error);
            return;
        case Failure::ReceiveError:
        case Failure::SendError:
            result.outcome = outcome::kReceiveError;
            result.detail = Reason(end.error);
            return;
        case Failure::LineTooLong:
            result.outcome = outcome::kReceiveError;
            result.detail = detail::kLineTooLong;
            return;
        case Failure::ClosedByModule:
            result.outcome = outcome::kReceiveError;
            result.detail = detail::kClosedByModule;
            return;
        case Failure::None:
        case Failure::ModuleError:
        case Failure::CredentialsNeeded:
            break;
    }
    result.outcome = outcome::kModuleError;
    result.detail = WithoutLeadingBlank(end.moduleText);
}

}  // namespace omblor::ctl
