// The update role's modules in the discovery search: one DiscoveryResponder answers for every
// module started with --discoverable, from the module's own address, with an interface MAC made
// from that address (02-00 and its four bytes), its platform and its application name. The
// update servers tell it when a module goes quiet for its reboot and what it answers with after.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module-sim/SimOptions.h"
#include "module-sim/discovery/DiscoveryOptions.h"
#include "module-sim/discovery/DiscoveryResponder.h"

namespace omblor::modulesim {

class ModuleAnnouncer {
  public:
    // Answers for the modules whose options say --discoverable; `modules` outlives it.
    explicit ModuleAnnouncer(const std::vector<SimOptions>& modules);
    ModuleAnnouncer(const ModuleAnnouncer&) = delete;
    ModuleAnnouncer& operator=(const ModuleAnnouncer&) = delete;
    ~ModuleAnnouncer();

    [[nodiscard]] bool Empty() const { return count_ == 0; }
    // Refuses outside a private network namespace: the search arrives as a broadcast, and a
    // real network must never see the replies. Then binds UDP port 20034 of every address.
    std::optional<std::string> Open();
    // Module `index` of the run (a position in `modules`) goes quiet (nullopt) or answers again
    // with `application`.
    void Changed(std::size_t index, const std::optional<std::string>& application);

  private:
    const std::vector<SimOptions>& modules_;
    DiscoveryOptions options_;
    std::vector<std::optional<std::size_t>> slot_;  // by module of the run: its responder entry
    std::size_t count_ = 0;
    std::unique_ptr<DiscoveryResponder> responder_;
};

// The discovery face of one update module, as the announcer plays it.
[[nodiscard]] SimulatedModule AnnouncedModule(const SimOptions& module,
                                              const std::string& application);

}  // namespace omblor::modulesim
