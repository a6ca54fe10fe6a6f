// A tree control stand-in that keeps its items in memory and draws them as indented text, so
// a test can compare the whole tree at once.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "discovery/DeviceTreeView.h"

namespace omblor::discovery::testing {

class FakeDeviceTree final : public DeviceTreeView {
  public:
    struct Node {
        std::string text;
        Item parent = kNoItem;
        int state = 0;
        const DeviceRecord* record = nullptr;
    };

    Item InsertItem(std::string_view text, Item parent) override {
        if (refuseInserts) return kNoItem;
        nodes.push_back(Node{std::string(text), parent});
        return nodes.size();
    }
    void SetItemText(Item item, std::string_view text) override { At(item).text = text; }
    void SetStateImage(Item item, int index) override { At(item).state = index; }
    void SetItemRecord(Item item, const DeviceRecord* record) override { At(item).record = record; }
    void SelectItem(Item item) override {
        At(item);
        selected = item;
        ++selectCalls;
    }
    void DeleteAllItems() override {
        nodes.clear();
        selected = kNoItem;
    }

    // Throws for kNoItem (wrapping round) and for items that do not exist.
    Node& At(Item item) { return nodes.at(item - 1); }

    // One line per item, "text [state]", children indented under their parent, in tree order.
    [[nodiscard]] std::string Render(Item parent = kNoItem, int depth = 0) const {
        std::string out;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (nodes[i].parent != parent) continue;
            out += std::string(2 * depth, ' ') + nodes[i].text + " [" +
                   std::to_string(nodes[i].state) + "]\n";
            out += Render(i + 1, depth + 1);
        }
        return out;
    }

    std::vector<Node> nodes;
    Item selected = kNoItem;
    int selectCalls = 0;
    bool refuseInserts = false;
};

}  // namespace omblor::discovery::testing
