// Gives this test process a settings store of its own, empty, so windows start from the
// defaults whatever the machine has stored, and nothing the test writes reaches the machine.
#pragma once

namespace omblor::testing {

// True when the store is in place (IsolatedSettingsPosix.cpp, IsolatedSettingsWin32.cpp).
bool IsolateSettings();

}  // namespace omblor::testing
