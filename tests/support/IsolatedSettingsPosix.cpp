#include <cstdlib>

#include "support/IsolatedSettings.h"

namespace omblor::testing {

// A hive that cannot exist reads as empty and refuses every write.
bool IsolateSettings() {
    return ::setenv("OMBLOR_HKLM", "/dev/null/HKLM.reg", 1) == 0;
}

}  // namespace omblor::testing
