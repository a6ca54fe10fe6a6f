// Start-up and shut-down of the socket service, in the role of WSAStartup(1.1) and WSACleanup.
// Winsock needs it (SocketServiceWin32.cpp); Linux sockets do not, but the step stays so that the
// program keeps its failure path for it (the application object takes the start-up call as a
// seam, so tests can make it fail).
#pragma once

namespace omblor::net {

// True when the service offers exactly the version asked for, which is only 1.1. On failure
// GetLastError() says why (EINVAL for another version).
bool StartSocketService(int major = 1, int minor = 1);
void StopSocketService();

}  // namespace omblor::net
