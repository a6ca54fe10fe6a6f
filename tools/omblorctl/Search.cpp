#include "Search.h"

#include <variant>

#include "discovery/ReplyReader.h"
#include "discovery/SearchTiming.h"
#include "net/EventLoop.h"

namespace omblor::ctl {

Search::Search()
    : socket_(std::make_unique<discovery::TarvikFindSocket>(
          static_cast<discovery::FindSocketOwner&>(*this))) {}

Search::~Search() {
    socket_.reset();
    devices_.Clear();
}

void Search::Run(std::chrono::milliseconds extra, const std::function<bool()>& stopped) {
    net::EventLoop& loop = *net::EventLoop::Current();
    bool done = false;
    int ticks = 0;
    net::ScopedTimer listening;
    socket_->SendRequest();
    net::ScopedTimer acknowledgements(
        loop, std::chrono::milliseconds(discovery::kSearchTickMs), net::Repeat::Yes, [&] {
            socket_->SendAcknowledgement(devices_.AcknowledgementEntries());
            if (++ticks < discovery::kAcknowledgements) return;
            acknowledgements.Stop();
            if (extra.count() <= 0) {
                done = true;
                return;
            }
            listening = net::ScopedTimer(loop, extra, net::Repeat::No, [&] { done = true; });
        });
    loop.RunUntil([&] { return done || stopped(); });
}

void Search::ProcessReply(std::span<const std::uint8_t> datagram, discovery::Ipv4Address sender) {
    auto reading = discovery::ReadReply(datagram, sender);
    if (auto* reply = std::get_if<discovery::ParsedReply>(&reading)) devices_.AddReply(*reply);
}

}  // namespace omblor::ctl
