#include <cstdio>

#include "app/COmblorApp.h"
#include "app/CommandLine.h"
#include "framework/CWinApp.h"

namespace {
omblor::app::COmblorApp theApp;
}

int main(int argc, char** argv) {
    // Answered before any window or socket starts, so it works without a display or network.
    const auto text = omblor::app::InformationText(omblor::framework::CommandLineTail(argc, argv));
    if (text) {
        std::fputs(text->c_str(), stdout);
        return 0;
    }
    return omblor::framework::AfxWinMain(argc, argv);
}
