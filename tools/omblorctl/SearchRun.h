// One discovery search for a command: runs the search on the current loop until its last
// acknowledgement (and, if asked, some listening after), telling a failed bind on stderr. The
// search itself, its socket and its list, are the window's.
#pragma once

#include <chrono>
#include <functional>

#include "discovery/DeviceList.h"
#include "discovery/DiscoverySearch.h"

namespace omblor::ctl {

// Tells on stderr that the search could not bind its port (or broadcast was refused).
void TellUnableToBind();

class SearchRun final : private discovery::DiscoverySearchOwner {
  public:
    SearchRun() = default;
    SearchRun(const SearchRun&) = delete;
    SearchRun& operator=(const SearchRun&) = delete;

    // Runs the search, then listens `extra` longer; returns early once `stopped()` is true.
    void Run(std::chrono::milliseconds extra, const std::function<bool()>& stopped);

    [[nodiscard]] const discovery::DeviceList& Devices() const { return search_.Devices(); }

  private:
    void OnBindFailed() override;
    void OnSearchEnded() override;

    discovery::DiscoverySearch search_{*this};
    bool ended_ = false;
};

}  // namespace omblor::ctl
