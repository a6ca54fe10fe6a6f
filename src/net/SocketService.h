// Start-up and shut-down of the socket service, in the role of WSAStartup(1.1) and WSACleanup.
// Linux sockets need no start-up; the step stays so that the program's failure path for it can
// be exercised: with OMBLOR_TEST_FAIL_SOCKET_STARTUP=1 in the environment start-up fails.
#pragma once

namespace omblor::net {

// True when the service offers exactly the version asked for, which is only 1.1. On failure
// GetLastError() says why (ENETDOWN for the injected failure, EINVAL for another version).
bool StartSocketService(int major = 1, int minor = 1);
void StopSocketService();

}  // namespace omblor::net
