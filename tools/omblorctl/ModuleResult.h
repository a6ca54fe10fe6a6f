// What omblorctl reports for one module: its address, the outcome word, the rest of the text,
// how long it took and how many image bytes went out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "update/UpdateSession.h"

namespace omblor::ctl {

namespace outcome {
inline constexpr std::string_view kProgrammed = "programmed";
inline constexpr std::string_view kRefused = "refused";
inline constexpr std::string_view kModuleError = "module error";
inline constexpr std::string_view kTimedOut = "timed out";
inline constexpr std::string_view kConnectError = "connect error";
inline constexpr std::string_view kReceiveError = "receive error";
inline constexpr std::string_view kCredentialsNeeded = "credentials needed";
inline constexpr std::string_view kCancelled = "cancelled";
// Listed by a search but never connected to.
inline constexpr std::string_view kSkipped = "skipped";
}  // namespace outcome

struct ModuleResult {
    std::string address;  // dotted
    std::string outcome;  // one of the words above
    std::string detail;   // the rest of the text, possibly from the module itself
    double seconds = 0;
    std::uint64_t bytes = 0;
};

// Fills in the outcome and detail of a session that ended with `ended` and `text`.
// `fileHeader` is the image's header text; `credentialsMissing` says that the module asked for
// credentials and none were given.
void DescribeEnd(ModuleResult& result, const update::UpdateSession& session, update::Outcome ended,
                 std::string_view text, std::string_view fileHeader, bool credentialsMissing);

}  // namespace omblor::ctl
