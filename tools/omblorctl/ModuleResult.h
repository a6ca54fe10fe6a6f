// What omblorctl reports for one module: its address, the outcome word, the rest of the text,
// how long it took and how many image bytes went out.
#pragma once

#include <cstdint>
#include <optional>
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
// Never connected to because the run stopped first (a canary failed, too many failures, a signal).
inline constexpr std::string_view kNotStarted = "not started";
// A dry run's answer for a module it would have connected to.
inline constexpr std::string_view kWouldProgram = "would program";
// Programmed, but not heard by a search after its reboot within the time.
inline constexpr std::string_view kNotConfirmed = "not confirmed";
}  // namespace outcome

// A failure that another attempt may mend (the network, a module still starting up); the others
// are the module's or the file's answer and stay what they are however often asked.
bool IsTransient(std::string_view outcome);

// The detail of a receive error that has no system reason.
namespace detail {
inline constexpr std::string_view kLineTooLong = "Line too long";
inline constexpr std::string_view kClosedByModule = "Closed by module";
}  // namespace detail

struct ModuleResult {
    std::string address;  // dotted
    std::string outcome;  // one of the words above
    std::string detail;   // the rest of the text, possibly from the module itself
    double seconds = 0;
    std::uint64_t bytes = 0;
    unsigned attempts = 0;          // connections made for this module so far
    std::string mac;                // "00-11-22-33-44-55" when a search saw the module, else empty
    std::optional<bool> confirmed;  // set only with --confirm, once the module's confirmation ended
    std::string application;        // what a confirmed module answers with now
};

// Fills in the outcome and detail of a session that ended with `end`. `refusedPlatform` is the
// platform the tool refused to send the image to (none when it did not), `fileHeader` the
// image's header text.
void DescribeEnd(ModuleResult& result, const update::SessionEnd& end,
                 const std::string* refusedPlatform, std::string_view fileHeader);

}  // namespace omblor::ctl
