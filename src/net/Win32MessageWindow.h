// A message-only window of a class of its own (Windows only): it needs no display, and every
// message loop of the thread, RunUntil's, the dialog manager's, a message box's, delivers its
// messages. The event loop's sink, the console's input and omblorctl's Ctrl-C each have one.
#pragma once

#include <windows.h>

namespace omblor::net {

// Null when the window could not be made. `owner` becomes the window's user data, for
// `procedure` to find with MessageWindowOwner.
HWND CreateMessageWindow(const char* className, const char* windowName, WNDPROC procedure,
                         void* owner);

template <class Owner>
Owner* MessageWindowOwner(HWND window) {
    return reinterpret_cast<Owner*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace omblor::net
