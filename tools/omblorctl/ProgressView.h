// The progress of a fleet run on stderr. On a terminal: one line per module, redrawn in place
// (a summary line with counts when there are more modules than rows); otherwise a plain line as
// each module ends.
#pragma once

#include <memory>

#include "Fleet.h"

namespace omblor::ctl {

class ProgressView : public FleetView {
  public:
    virtual ~ProgressView() = default;
    static std::unique_ptr<ProgressView> ForStderr();
};

}  // namespace omblor::ctl
