// The application object: starts the socket service, runs the main window modally and turns its
// result into the exit code (IDOK 0, IDCANCEL -1).
#pragma once

#include <cstdint>

#include "framework/CWinApp.h"
#include "net/SocketService.h"

namespace omblor::app {

class COmblorApp final : public framework::CWinApp {
  public:
    bool InitInstance() override;
    int ExitInstance() override;

    std::int32_t exitCode = 0;
    // Starts the socket service; tests put a failing one in its place.
    bool (*startSocketService)(int major, int minor) = net::StartSocketService;
};

}  // namespace omblor::app
