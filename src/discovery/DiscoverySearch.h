// The discovery search without a window: it owns the find socket and the device list, runs the
// schedule of a search (the request, then three acknowledgements 1.5 s apart naming every
// interface heard so far) and reports to its owner. Replies are taken for as long as it lives,
// between searches too. The Find dialog is one owner (it shows the tree and the boxes);
// omblorctl's find and update --found are others.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>

#include "discovery/DeviceList.h"
#include "discovery/DeviceTreeView.h"
#include "discovery/TarvikFindSocket.h"
#include "net/EventLoop.h"

namespace omblor::discovery {

class DiscoverySearchOwner {
  public:
    // Neither port could be bound, or broadcast was refused: at most once, from Open(). The
    // search runs on but hears nothing, or sends nothing.
    virtual void OnBindFailed() = 0;
    // A reply changed the device list (the tree already shows it).
    virtual void OnListChanged() {}
    // Every reply read, whether or not it changed the list (a repeat from an interface already
    // listed changes nothing there): tells who answered, and when. Last in the reply's handling,
    // so the owner may call SearchAgain from here (not Open: the socket is still reading).
    virtual void OnReplyHeard(const ParsedReply& /*reply*/) {}
    // The last acknowledgement of a search has gone out.
    virtual void OnSearchEnded() = 0;

  protected:
    ~DiscoverySearchOwner() = default;
};

class DiscoverySearch final : private FindSocketOwner {
  public:
    static constexpr std::chrono::milliseconds kTick{1500};
    static constexpr int kAcknowledgements = 3;

    // `tree` shows the list and must outlive the search; without one the list is kept alone.
    explicit DiscoverySearch(DiscoverySearchOwner& owner, const FindSocketPorts& ports = {},
                             DeviceTreeView* tree = nullptr);
    ~DiscoverySearch();
    DiscoverySearch(const DiscoverySearch&) = delete;
    DiscoverySearch& operator=(const DiscoverySearch&) = delete;

    // Between the request and each acknowledgement; tests shorten it.
    std::chrono::milliseconds tick = kTick;

    // Makes the socket (telling the owner if it cannot bind) and starts the first search; opened
    // again, it starts over with an empty list on a new socket.
    void Open();
    // Empties the tree and the list, then starts a new search; one still running is cut short.
    void SearchAgain();
    // Ends the schedule at once, without a report; replies are still taken.
    void Stop() { ticks_.Stop(); }

    [[nodiscard]] bool Searching() const { return ticks_.Active(); }
    [[nodiscard]] const DeviceList& Devices() const { return devices_; }

  private:
    // The tree of a search that has no window: items are numbered so that interfaces still find
    // their group, and nothing is shown.
    class NoTree final : public DeviceTreeView {
      public:
        Item InsertItem(std::string_view /*text*/, Item /*parent*/) override { return ++last_; }
        void SetItemText(Item /*item*/, std::string_view /*text*/) override {}
        void SetStateImage(Item /*item*/, int /*index*/) override {}
        void SetItemRecord(Item /*item*/, const DeviceRecord* /*record*/) override {}
        void SelectItem(Item /*item*/) override {}
        void DeleteAllItems() override {}

      private:
        Item last_ = kNoItem;
    };

    void StartSearch();
    void OnTick();
    void ProcessReply(std::span<const std::uint8_t> datagram, Ipv4Address sender) override;
    void OnBindFailed() override;

    DiscoverySearchOwner& owner_;
    FindSocketPorts ports_;
    NoTree noTree_;
    DeviceTreeView& tree_;
    DeviceList devices_{tree_};
    std::unique_ptr<TarvikFindSocket> socket_;
    net::ScopedTimer ticks_;
    int tickCount_ = 0;
};

}  // namespace omblor::discovery
