#include "framework/CWinApp.h"

namespace omblor::framework {

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() : m_pszAppName("omblor") {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() {
    return g_app;
}

std::string_view AfxGetAppName() {
    return g_app != nullptr ? std::string_view(g_app->m_pszAppName) : std::string_view("omblor");
}

std::string CommandLineTail(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) tail += ' ';
        tail += argv[i];
    }
    return tail;
}

std::string AppNameFromPath(std::string_view argv0) {
    if (const auto slash = argv0.find_last_of("/\\"); slash != std::string_view::npos) {
        argv0.remove_prefix(slash + 1);
    }
    if (const auto dot = argv0.find_last_of('.'); dot != std::string_view::npos && dot > 0) {
        argv0 = argv0.substr(0, dot);
    }
    return argv0.empty() ? std::string("omblor") : std::string(argv0);
}

}  // namespace omblor::framework
