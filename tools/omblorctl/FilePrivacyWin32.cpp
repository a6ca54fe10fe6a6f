#include "FilePrivacy.h"

namespace omblor::ctl {

bool ReadableByOthers(const std::string& /*path*/) {
    return false;
}

}  // namespace omblor::ctl
