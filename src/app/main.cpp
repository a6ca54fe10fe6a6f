#include "app/COmblorApp.h"

namespace {
omblor::app::COmblorApp theApp;
}

int main(int argc, char** argv) { return omblor::framework::AfxWinMain(argc, argv); }
