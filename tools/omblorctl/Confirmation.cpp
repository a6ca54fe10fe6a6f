#include "Confirmation.h"

#include <algorithm>
#include <utility>

#include "SearchRun.h"
#include "discovery/ReplyReader.h"

namespace omblor::ctl {

namespace {

// A module the search saw is known by its interfaces, which stay when its address changes; one
// given by address alone can only be known by where its reply comes from.
bool Answers(std::span<const discovery::MacAddress> macs, discovery::Ipv4Address address,
             const discovery::ParsedReply& reply) {
    if (macs.empty()) return reply.source == address;
    return std::ranges::find(macs, reply.record.InterfaceMac()) != macs.end();
}

}  // namespace

Confirmation::Confirmation(ConfirmationOwner& owner, std::chrono::milliseconds timeout,
                           const discovery::FindSocketPorts& ports)
    : owner_(owner), timeout_(timeout), search_(*this, ports) {}

Confirmation::~Confirmation() = default;

void Confirmation::Await(std::size_t index, std::uint32_t hostOrder,
                         std::span<const discovery::MacAddress> macs) {
    std::erase_if(waiting_, [&](const Waiter& waiter) { return waiter.index == index; });
    waiting_.push_back({.index = index,
                        .address = discovery::Ipv4Address::FromHostOrder(hostOrder),
                        .macs = {macs.begin(), macs.end()},
                        .deadline = net::ScopedTimer(timeout_, net::Repeat::No,
                                                     [this, index] { OnDeadline(index); })});
    // A search already going serves this module too; only its later replies count.
    search_.tick = tick;
    if (!opened_) {
        opened_ = true;
        search_.Open();
    } else if (!search_.Searching()) {
        search_.SearchAgain();
    }
}

void Confirmation::Cancel() {
    std::vector<std::size_t> cancelled;
    cancelled.reserve(waiting_.size());
    for (const Waiter& waiter : waiting_) cancelled.push_back(waiter.index);
    waiting_.clear();
    StopWhenIdle();
    for (const std::size_t index : cancelled) owner_.OnNotConfirmed(index);
}

void Confirmation::OnBindFailed() {
    TellUnableToBind();
}

void Confirmation::OnSearchEnded() {
    if (waiting_.empty()) return;
    search_.tick = tick;
    search_.SearchAgain();
}

void Confirmation::OnReplyHeard(const discovery::ParsedReply& reply) {
    // Take the answered modules out before telling the owner, who may call Await or Cancel: a
    // module that starts waiting from a report did not hear this reply after its exchange.
    std::vector<std::size_t> confirmed;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (Answers(it->macs, it->address, reply)) {
            confirmed.push_back(it->index);
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    if (confirmed.empty()) return;
    StopWhenIdle();
    const std::string_view application = discovery::ApplicationName(reply.applicationText);
    for (const std::size_t index : confirmed) owner_.OnConfirmed(index, application);
}

void Confirmation::OnDeadline(std::size_t index) {
    const auto it = std::ranges::find(waiting_, index, &Waiter::index);
    if (it == waiting_.end()) return;
    waiting_.erase(it);
    StopWhenIdle();
    owner_.OnNotConfirmed(index);
}

void Confirmation::StopWhenIdle() {
    if (waiting_.empty()) search_.Stop();
}

}  // namespace omblor::ctl
