// The event loop a thread of this platform runs on when no host brings its own: window messages.
#pragma once

#include "net/Win32EventLoop.h"

namespace omblor::net {
using DefaultEventLoop = Win32EventLoop;
}  // namespace omblor::net
