// One discovery search as the Find dialog runs it: the request, then three acknowledgements
// 1.5 s apart naming every interface heard so far, each reply merged by the device list's
// rules; then, if asked, more listening. The same socket, reader and list as the dialog; the
// list's tree is one that shows nothing.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "discovery/DeviceList.h"
#include "discovery/DeviceTreeView.h"
#include "discovery/TarvikFindSocket.h"

namespace omblor::ctl {

class Search final : private discovery::FindSocketOwner {
  public:
    Search();
    ~Search();
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    // Runs the search on the current loop, then listens `extra` longer; returns early once
    // `stopped()` is true.
    void Run(std::chrono::milliseconds extra, const std::function<bool()>& stopped);

    [[nodiscard]] const discovery::DeviceList& Devices() const { return devices_; }

  private:
    class NoTree final : public discovery::DeviceTreeView {
      public:
        Item InsertItem(std::string_view /*text*/, Item /*parent*/) override { return ++last_; }
        void SetItemText(Item /*item*/, std::string_view /*text*/) override {}
        void SetStateImage(Item /*item*/, int /*index*/) override {}
        void SetItemRecord(Item /*item*/, const discovery::DeviceRecord* /*record*/) override {}
        void SelectItem(Item /*item*/) override {}
        void DeleteAllItems() override {}

      private:
        Item last_ = kNoItem;
    };

    void ProcessReply(std::span<const std::uint8_t> datagram,
                      discovery::Ipv4Address sender) override;

    NoTree tree_;
    discovery::DeviceList devices_{tree_};
    std::unique_ptr<discovery::TarvikFindSocket> socket_;
};

}  // namespace omblor::ctl
