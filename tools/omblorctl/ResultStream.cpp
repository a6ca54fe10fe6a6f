#include "ResultStream.h"

#include <unistd.h>

#include "Commands.h"
#include "Output.h"
#include "platform/WriteAll.h"

namespace omblor::ctl {

ResultStream::ResultStream(Format format, std::function<void(const ModuleResult&)> logAttempt)
    : format_(format), logAttempt_(std::move(logAttempt)) {
    if (format_ == Format::Table) platform::WriteAll(STDOUT_FILENO, ResultTableHeader());
}

void ResultStream::AttemptEnded(const ModuleState& module) {
    if (logAttempt_) logAttempt_(module.result);
}

void ResultStream::ModuleEnded(const ModuleState& module) {
    const ModuleResult& result = module.result;
    // One never connected to gets its one line too (attempt 0), so that a run read back from
    // the log knows every module it was given.
    if (result.attempts == 0 && logAttempt_) logAttempt_(result);
    // Unbuffered: the line is out before the next module ends, whatever happens to us then.
    platform::WriteAll(STDOUT_FILENO,
                       format_ == Format::Json ? ResultJsonLine(result) : ResultTableRow(result));
    if (result.outcome == outcome::kSkipped) return;
    if (result.outcome == outcome::kProgrammed || result.outcome == outcome::kWouldProgram)
        ++good_;
    else
        ++bad_;
}

int ResultStream::ExitCode() const {
    return bad_ == 0 && good_ > 0 ? kExitOk : kExitFailed;
}

}  // namespace omblor::ctl
