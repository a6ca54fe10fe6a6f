// module-sim-discovery: many simulated modules answering omblor's discovery search.
#include "module-sim/discovery/RunDiscoveryRole.h"

int main(int argc, char** argv) {
    return omblor::modulesim::RunDiscoveryRole(std::vector<std::string>(argv + 1, argv + argc));
}
