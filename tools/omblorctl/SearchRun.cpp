#include "SearchRun.h"

#include <cstdio>

#include "net/EventLoop.h"
#include "resources/Messages.h"

namespace omblor::ctl {

void SearchRun::Run(std::chrono::milliseconds extra, const std::function<bool()>& stopped) {
    net::EventLoop& loop = *net::EventLoop::Current();
    ended_ = false;
    search_.Open();
    loop.RunUntil([&] { return ended_ || stopped(); });
    if (extra.count() <= 0 || stopped()) return;
    bool listened = false;
    const net::ScopedTimer listening(loop, extra, net::Repeat::No, [&] { listened = true; });
    loop.RunUntil([&] { return listened || stopped(); });
}

void TellUnableToBind() {
    const auto text = messages::kUnableToBind;
    std::fprintf(stderr, "omblorctl: %.*s\n", static_cast<int>(text.size()), text.data());
}

void SearchRun::OnBindFailed() {
    TellUnableToBind();
}

void SearchRun::OnSearchEnded() {
    ended_ = true;
}

}  // namespace omblor::ctl
