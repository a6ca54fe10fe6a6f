// The modules heard during one search, merged reply by reply and mirrored into a tree (the
// dialog's, or one that shows nothing). The list is kept in descending order of device key (the
// order acknowledgements name interfaces in) while the tree shows modules in order of arrival.
// It neither receives nor sends datagrams.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "discovery/Datagrams.h"
#include "discovery/DeviceRecord.h"
#include "discovery/DeviceTreeView.h"
#include "discovery/Ipv4Address.h"
#include "discovery/ReplyReader.h"
#include "discovery/ReplyRecord.h"

namespace omblor::discovery {

// What AddReply did with a reply.
enum class AddOutcome {
    NewModule,          // a new top-level entry
    Grouped,            // a single module became a group of two interfaces
    NewInterface,       // one more interface under a group
    ReplacedInterface,  // a group's interface that did not agree took a reply that does
    Ignored,            // an interface already shown; nothing changed
    ListFull,           // dropped: the list holds kMaxRecords records
    OutOfMemory,        // dropped: a record could not be allocated
};

class DeviceList {
  public:
    // Any sender on the network can make us store a record, so the list stops growing here;
    // far more than a local network holds.
    static constexpr std::size_t kMaxRecords = 16384;

    explicit DeviceList(DeviceTreeView& tree) : tree_(&tree) {}
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // Merges one accepted reply into the list and the tree.
    AddOutcome AddReply(const ParsedReply& reply);

    // Releases every record. The tree's items are not touched: the search deletes them first,
    // since they refer to these records.
    void Clear();

    // Every interface heard, in list order: a group's interfaces, or the single module itself.
    [[nodiscard]] std::vector<AckEntry> AcknowledgementEntries() const;

    // Modules in list order (greatest device key first).
    [[nodiscard]] std::span<const std::unique_ptr<DeviceRecord>> Modules() const {
        return modules_;
    }
    [[nodiscard]] bool Empty() const { return modules_.empty(); }
    // Module and interface records together.
    [[nodiscard]] std::size_t RecordCount() const { return recordCount_; }

  private:
    AddOutcome Merge(const ParsedReply& reply);
    AddOutcome AddToGroup(DeviceRecord& group, const ParsedReply& reply);
    void ShowItem(DeviceRecord& device, DeviceTreeView::Item parent);
    // Runs a tree update after the list has changed. Running out of memory there leaves the
    // record in the list (and in acknowledgements) but possibly missing from the tree or with
    // a stale text, rather than unwinding a change already made.
    template <typename Update>
    void UpdateTree(Update update) {
        try {
            update();
        } catch (const std::bad_alloc&) {
        }
    }

    DeviceTreeView* tree_ = nullptr;
    std::vector<std::unique_ptr<DeviceRecord>> modules_;
    std::size_t recordCount_ = 0;
};

}  // namespace omblor::discovery
