// The console host's input: bytes from the operator's descriptor, handed to the host on the
// loop's thread as they arrive, without ever blocking the loop. How the platform learns that
// input is there is its own affair (ConsoleInputPosix.cpp: a watch on the descriptor;
// ConsoleInputWin32.cpp: a reader thread that wakes the thread's message loops).
#pragma once

#include <functional>
#include <memory>
#include <span>

#include "net/EventLoop.h"

namespace omblor::framework {

class ConsoleInput {
  public:
    // `sink` gets each chunk read, then one empty chunk when the input has ended (or failed).
    // The chunk's bytes are wiped after the call: they may hold a password.
    using Sink = std::function<void(std::span<const char> chunk)>;

    ConsoleInput(net::EventLoop& loop, int fd, Sink sink);
    ConsoleInput(const ConsoleInput&) = delete;
    ConsoleInput& operator=(const ConsoleInput&) = delete;
    ~ConsoleInput();

  private:
    struct Reader;
    std::unique_ptr<Reader> reader_;
};

}  // namespace omblor::framework
