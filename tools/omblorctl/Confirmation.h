// Confirms that programmed modules come back after their reboot: while any module waits it keeps
// one discovery search going, again and again, and a module is confirmed by the first reply heard
// from it after its exchange ended (by its interface MACs when a search saw it, else by its
// address). Each module has its own deadline. No window and no output but the bind message; the
// fleet drives it and words the results.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Comeback.h"
#include "discovery/DiscoverySearch.h"
#include "discovery/Ipv4Address.h"
#include "discovery/ReplyRecord.h"
#include "discovery/TarvikFindSocket.h"
#include "net/EventLoop.h"

namespace omblor::ctl {

// Reports may come from inside the search's socket read or a timer: the owner may call Await or
// Cancel from them, but destroys the confirmation only from a posted call.
class Confirmation final : public ComebackWatch, private discovery::DiscoverySearchOwner {
  public:
    Confirmation(ConfirmationOwner& owner, std::chrono::milliseconds timeout,
                 const discovery::FindSocketPorts& ports = {});
    ~Confirmation();
    Confirmation(const Confirmation&) = delete;
    Confirmation& operator=(const Confirmation&) = delete;

    void Await(std::size_t index, std::uint32_t hostOrder,
               std::span<const discovery::MacAddress> macs) override;
    void Cancel() override;
    [[nodiscard]] std::size_t Waiting() const { return waiting_.size(); }
    // Whether a search is going on; none while nobody waits.
    [[nodiscard]] bool Searching() const { return search_.Searching(); }

    // The search's tick, taken at each new search; tests shorten it.
    std::chrono::milliseconds tick = discovery::DiscoverySearch::kTick;

  private:
    struct Waiter {
        std::size_t index = 0;
        discovery::Ipv4Address address;
        std::vector<discovery::MacAddress> macs;
        net::ScopedTimer deadline;
    };

    void OnBindFailed() override;
    void OnSearchEnded() override;
    void OnReplyHeard(const discovery::ParsedReply& reply) override;
    void OnDeadline(std::size_t index);
    // Stops searching once nobody waits.
    void StopWhenIdle();

    ConfirmationOwner& owner_;
    std::chrono::milliseconds timeout_;
    discovery::DiscoverySearch search_;
    bool opened_ = false;
    std::vector<Waiter> waiting_;
};

}  // namespace omblor::ctl
