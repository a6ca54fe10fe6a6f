// The run's record as it happens: each module's result goes to stdout the moment the module
// ends (a JSON line or a table row, written at once), each attempt to the log when there is one.
// It also keeps the count the exit code is made from.
#pragma once

#include <cstddef>
#include <functional>

#include "Fleet.h"
#include "Options.h"

namespace omblor::ctl {

class ResultStream final : public FleetRecord {
  public:
    // `logAttempt` takes each attempt as it ends, and each module that ended without one; empty
    // for no log.
    ResultStream(Format format, std::function<void(const ModuleResult&)> logAttempt);

    void AttemptEnded(const ModuleState& module) override;
    void ModuleEnded(const ModuleState& module) override;

    // 0 when every module ended well (programmed, or would be in a dry run; skipped ones aside)
    // and at least one did; 1 otherwise.
    [[nodiscard]] int ExitCode() const;

  private:
    Format format_;
    std::function<void(const ModuleResult&)> logAttempt_;
    std::size_t good_ = 0;
    std::size_t bad_ = 0;
};

}  // namespace omblor::ctl
