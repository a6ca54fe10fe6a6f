// The event loop a thread of this platform runs on when no host brings its own: poll(2).
#pragma once

#include "net/PollEventLoop.h"

namespace omblor::net {
using DefaultEventLoop = PollEventLoop;
}  // namespace omblor::net
