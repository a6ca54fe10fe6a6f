// Where and by whom a run is made, as the traceability log records it: the machine's host name
// and the operator's login name. The only platform difference is how the system tells them.
#pragma once

#include <string>

namespace omblor::ctl {

// Empty when the system cannot say.
std::string StationName();
std::string OperatorName();

}  // namespace omblor::ctl
