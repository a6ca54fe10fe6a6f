// What start-up leaves to the platform (PlatformHostPosix.cpp, PlatformHostWin32.cpp): the
// command-line tail as the platform passes it, and which event loop and host the program runs
// on.
#pragma once

#include <functional>
#include <string>

namespace omblor::framework {

std::string PlatformCommandLineTail(int argc, char** argv);

// Installs the platform's loop and the host it picks, runs `body`, tears both down and returns
// body's result.
int RunWithPlatformHost(int argc, char** argv, const std::function<int()>& body);

}  // namespace omblor::framework
