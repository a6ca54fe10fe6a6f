// What the device list needs of the tree control that shows it: add items after the last
// child, change their text and state picture, tie them to a record, select one, empty the
// tree. The dialog adapts its real tree control to this, and a search without a window uses one
// that shows nothing; it is not a general tree API.
#pragma once

#include <cstdint>
#include <string_view>

namespace omblor::discovery {

struct DeviceRecord;

class DeviceTreeView {
  public:
    // Opaque item handle; kNoItem is never a valid item and, as a parent, means the top level.
    using Item = std::uintptr_t;
    static constexpr Item kNoItem = 0;

    DeviceTreeView() = default;
    DeviceTreeView(const DeviceTreeView&) = delete;
    DeviceTreeView& operator=(const DeviceTreeView&) = delete;
    virtual ~DeviceTreeView() = default;

    // Adds an item after the last child of `parent`; kNoItem when the control refused it.
    virtual Item InsertItem(std::string_view text, Item parent) = 0;
    virtual void SetItemText(Item item, std::string_view text) = 0;
    // 0 means no picture; 1 to 7 pick an image of the state strip.
    virtual void SetStateImage(Item item, int index) = 0;
    // The record stays owned by the device list; the item only refers to it.
    virtual void SetItemRecord(Item item, const DeviceRecord* record) = 0;
    virtual void SelectItem(Item item) = 0;
    virtual void DeleteAllItems() = 0;
};

}  // namespace omblor::discovery
