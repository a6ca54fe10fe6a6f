// How the fleet hears a programmed module come back after its reboot: it hands the module to a
// watch when its exchange ends, and the watch reports once, confirmed or not. The confirmation
// search is the real watch; tests use their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "discovery/ReplyRecord.h"

namespace omblor::ctl {

class ConfirmationOwner {
  public:
    // The module of `index` answered a search after its exchange ended.
    virtual void OnConfirmed(std::size_t index, std::string_view application) = 0;
    // It was not heard within the time.
    virtual void OnNotConfirmed(std::size_t index) = 0;

  protected:
    ~ConfirmationOwner() = default;
};

class ComebackWatch {
  public:
    // The module of `index` has just ended its exchange programmed: from now on a reply from one
    // of `macs` (when a search saw it; may be empty) or else from `hostOrder` confirms it.
    virtual void Await(std::size_t index, std::uint32_t hostOrder,
                       std::span<const discovery::MacAddress> macs) = 0;
    // Every module still waiting ends not confirmed at once (the run is being stopped).
    virtual void Cancel() = 0;

  protected:
    ~ComebackWatch() = default;
};

}  // namespace omblor::ctl
