#include "discovery/DiscoverySearch.h"

#include <variant>

#include "discovery/ReplyReader.h"

namespace omblor::discovery {

DiscoverySearch::DiscoverySearch(DiscoverySearchOwner& owner, const FindSocketPorts& ports,
                                 DeviceTreeView* tree)
    : owner_(owner), ports_(ports), tree_(tree != nullptr ? *tree : noTree_) {}

DiscoverySearch::~DiscoverySearch() = default;

void DiscoverySearch::Open() {
    // A search opened again starts afresh, on a new socket. The list is emptied before the
    // socket is made, not after: replies may come in while the owner tells of a failed bind (a
    // socket without broadcast still receives), and the tree refers to their records.
    ticks_.Stop();
    socket_.reset();
    tree_.DeleteAllItems();
    devices_.Clear();
    socket_ = std::make_unique<TarvikFindSocket>(static_cast<FindSocketOwner&>(*this), ports_);
    StartSearch();
}

void DiscoverySearch::SearchAgain() {
    // Items first: they refer to the records.
    tree_.DeleteAllItems();
    devices_.Clear();
    StartSearch();
}

void DiscoverySearch::StartSearch() {
    tickCount_ = 0;
    ticks_ = net::ScopedTimer(tick, net::Repeat::Yes, [this] { OnTick(); });
    if (socket_) socket_->SendRequest();
}

void DiscoverySearch::OnTick() {
    ++tickCount_;
    if (socket_) socket_->SendAcknowledgement(devices_.AcknowledgementEntries());
    if (tickCount_ < kAcknowledgements) return;
    ticks_.Stop();
    owner_.OnSearchEnded();
}

void DiscoverySearch::ProcessReply(std::span<const std::uint8_t> datagram, Ipv4Address sender) {
    const auto reading = ReadReply(datagram, sender);
    const auto* reply = std::get_if<ParsedReply>(&reading);
    if (reply == nullptr) return;
    switch (devices_.AddReply(*reply)) {
        case AddOutcome::Ignored:
        case AddOutcome::ListFull:
        case AddOutcome::OutOfMemory:
            break;
        default:
            owner_.OnListChanged();
    }
    owner_.OnReplyHeard(*reply);
}

void DiscoverySearch::OnBindFailed() {
    owner_.OnBindFailed();
}

}  // namespace omblor::discovery
