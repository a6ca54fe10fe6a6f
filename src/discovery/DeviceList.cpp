#include "discovery/DeviceList.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

namespace omblor::discovery {

namespace {

ParsedReply DataOf(const DeviceRecord& device) {
    return ParsedReply{device.record, device.platformName, device.applicationText, device.source,
                       device.relayed};
}

}  // namespace

AddOutcome DeviceList::AddReply(const ParsedReply& reply) {
    // Records are allocated before the list changes, so running out of memory there drops the
    // reply and leaves the list as it was. Tree updates come after and are guarded apart.
    try {
        return Merge(reply);
    } catch (const std::bad_alloc&) {
        return AddOutcome::OutOfMemory;
    }
}

AddOutcome DeviceList::Merge(const ParsedReply& reply) {
    const MacAddress key = DeviceKey(reply.record);
    // The first module whose key is not greater than the reply's.
    const auto found = std::ranges::lower_bound(
        modules_, key,
        [](const MacAddress& a, const MacAddress& b) { return CompareMac(a, b) > 0; },
        [](const std::unique_ptr<DeviceRecord>& device) -> const MacAddress& {
            return device->deviceKey;
        });

    if (found == modules_.end() || CompareMac((*found)->deviceKey, key) != 0) {
        if (recordCount_ >= kMaxRecords) return AddOutcome::ListFull;
        const bool first = modules_.empty();
        auto inserted = modules_.insert(found, std::make_unique<DeviceRecord>(reply));
        ++recordCount_;
        // New modules go to the end of the tree whatever their place in the list.
        ShowItem(**inserted, DeviceTreeView::kNoItem);
        // Only the first module of a search is selected, so the operator's later choice stays.
        if (first && (*inserted)->treeItem != DeviceTreeView::kNoItem) {
            UpdateTree([&] { tree_->SelectItem((*inserted)->treeItem); });
        }
        return AddOutcome::NewModule;
    }

    DeviceRecord& module = **found;
    if (module.IsGrouped()) return AddToGroup(module, reply);

    // A single module never changes on a repeat from its one interface, even one that agrees.
    if (module.record.InterfaceMac() == reply.record.InterfaceMac()) return AddOutcome::Ignored;
    if (recordCount_ + 2 > kMaxRecords) return AddOutcome::ListFull;

    auto first = std::make_unique<DeviceRecord>(DataOf(module));
    auto second = std::make_unique<DeviceRecord>(reply);
    module.interfaces.reserve(2);
    first->parent = &module;
    second->parent = &module;
    module.interfaces.push_back(std::move(first));
    module.interfaces.push_back(std::move(second));
    recordCount_ += 2;

    if (module.treeItem != DeviceTreeView::kNoItem) {
        UpdateTree([&] {
            tree_->SetItemText(module.treeItem, ItemLabel(module));
            tree_->SetStateImage(module.treeItem, StateImageIndex(module));
        });
    }
    ShowItem(*module.interfaces[0], module.treeItem);
    ShowItem(*module.interfaces[1], module.treeItem);
    return AddOutcome::Grouped;
}

AddOutcome DeviceList::AddToGroup(DeviceRecord& group, const ParsedReply& reply) {
    const MacAddress mac = reply.record.InterfaceMac();
    const bool replyAgrees = AgreesWithSource(reply.record, reply.source);
    for (const auto& entry : group.interfaces) {
        if (entry->record.InterfaceMac() != mac) continue;
        if (entry->Agrees()) return AddOutcome::Ignored;
        if (!replyAgrees) continue;
        // Copy first, then move in, so a failed copy leaves the entry whole.
        std::string platformName = reply.platformName;
        std::string applicationText = reply.applicationText;
        entry->source = reply.source;
        entry->relayed = reply.relayed;
        entry->record = reply.record;
        entry->platformName = std::move(platformName);
        entry->applicationText = std::move(applicationText);
        if (entry->treeItem != DeviceTreeView::kNoItem) {
            UpdateTree([&] {
                tree_->SetStateImage(entry->treeItem, StateImageIndex(*entry));
                tree_->SetItemText(entry->treeItem, ItemLabel(*entry));
            });
        }
        return AddOutcome::ReplacedInterface;
    }

    // A new interface, or one more reply that does not agree: both become a further entry.
    if (recordCount_ >= kMaxRecords) return AddOutcome::ListFull;
    auto added = std::make_unique<DeviceRecord>(reply);
    added->parent = &group;
    group.interfaces.push_back(std::move(added));
    ++recordCount_;
    ShowItem(*group.interfaces.back(), group.treeItem);
    return AddOutcome::NewInterface;
}

void DeviceList::ShowItem(DeviceRecord& device, DeviceTreeView::Item parent) {
    // A child whose group has no item would land at the top level; leave it unshown instead.
    if (device.IsInterface() && parent == DeviceTreeView::kNoItem) return;
    UpdateTree([&] {
        device.treeItem = tree_->InsertItem(ItemLabel(device), parent);
        if (device.treeItem == DeviceTreeView::kNoItem) return;
        tree_->SetStateImage(device.treeItem, StateImageIndex(device));
        tree_->SetItemRecord(device.treeItem, &device);
    });
}

void DeviceList::Clear() {
    modules_.clear();
    recordCount_ = 0;
}

std::vector<AckEntry> DeviceList::AcknowledgementEntries() const {
    std::vector<AckEntry> entries;
    entries.reserve(recordCount_);
    for (const auto& module : modules_) {
        if (!module->IsGrouped()) {
            entries.push_back({&module->record, module->source});
            continue;
        }
        for (const auto& entry : module->interfaces) {
            entries.push_back({&entry->record, entry->source});
        }
    }
    return entries;
}

}  // namespace omblor::discovery
