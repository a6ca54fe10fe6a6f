// The socket names the program is written against, on Winsock: the POSIX headers it includes
// resolve here in the Windows build, so the code that uses sockets compiles unchanged.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

// The socket layer declares these as typed constants of its own (same values); Winsock's macros
// would rewrite those declarations.
#undef FD_READ
#undef FD_WRITE
#undef FD_OOB
#undef FD_ACCEPT
#undef FD_CONNECT
#undef FD_CLOSE
#undef INVALID_SOCKET
#undef SOCKET_ERROR

// <windows.h>, which Winsock includes, defines names the dialog framework uses for its own
// (same values or same meaning); the framework's declarations take their place.
#undef IDOK
#undef IDCANCEL
#undef MB_OK
#undef MB_ICONWARNING
#undef MessageBox
#undef SetWindowText
#undef GetWindowText

// Winsock takes option values as char pointers; POSIX code passes the value's own address.
inline int setsockopt(SOCKET handle, int level, int name, const void* value, socklen_t length) {
    return ::setsockopt(handle, level, name, static_cast<const char*>(value), length);
}
inline int getsockopt(SOCKET handle, int level, int name, void* value, socklen_t* length) {
    return ::getsockopt(handle, level, name, static_cast<char*>(value), length);
}
