#include "framework/Host.h"

#include <cstdlib>

#include "framework/ControlState.h"

namespace omblor::framework {

namespace {
Host* g_host = nullptr;
}

Host& CurrentHost() {
    // Start-up installs a host before any window exists; reaching here without one is a
    // programming error worth stopping at.
    if (g_host == nullptr) std::abort();
    return *g_host;
}

void SetCurrentHost(Host* host) {
    g_host = host;
}

int RunWithHost(Host& host, const std::function<int()>& body) {
    struct Installed {
        explicit Installed(Host& h) { SetCurrentHost(&h); }
        Installed(const Installed&) = delete;
        Installed& operator=(const Installed&) = delete;
        ~Installed() { SetCurrentHost(nullptr); }
    } installed(host);
    return body();
}

}  // namespace omblor::framework
