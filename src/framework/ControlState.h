// The live state of one control of an open dialog: what the framework reads and writes and what a
// host shows. Hosts render it and write operator input back into it; dialogs never see a host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/WinTypes.h"
#include "platform/SecureWipe.h"
#include "resources/DialogTemplate.h"

namespace omblor::framework {

struct TreeItemState {
    HTREEITEM handle = 0;
    HTREEITEM parent = 0;  // 0 for a top-level item
    std::string text;
    unsigned state = 0;
    std::uintptr_t data = 0;
};

struct ControlState {
    const resources::ControlTemplate* tmpl = nullptr;
    int id = resources::kNoControlId;
    resources::ControlKind kind = resources::ControlKind::Static;
    std::string text;
    bool enabled = true;
    int checked = 0;
    int rangeLow = 0;
    int rangeHigh = 100;
    int position = 0;
    std::vector<TreeItemState> items;  // in insertion order; siblings keep that order
    HTREEITEM selected = 0;
    HTREEITEM nextItem = 1;
    int stateImageList = 0;  // bitmap resource of the state images, 0 for none

    [[nodiscard]] bool IsPassword() const {
        return tmpl != nullptr && (tmpl->style & resources::kStylePassword) != 0;
    }
    [[nodiscard]] bool IsTabStop() const {
        return tmpl != nullptr && (tmpl->style & resources::kStyleTabStop) != 0;
    }

    // The tree item with that handle, or nullptr. Items are appended with consecutive handles
    // and only ever removed all at once, so the handle gives the index straight away; a list of
    // thousands of modules must not be searched once per reply.
    [[nodiscard]] TreeItemState* FindItem(HTREEITEM handle) {
        if (handle == 0 || items.empty()) return nullptr;
        const HTREEITEM index = handle - items.front().handle;
        if (handle >= items.front().handle && index < items.size() &&
            items[index].handle == handle) {
            return &items[index];
        }
        for (auto& item : items) {
            if (item.handle == handle) return &item;
        }
        return nullptr;
    }
};

using platform::SecureWipe;

}  // namespace omblor::framework
