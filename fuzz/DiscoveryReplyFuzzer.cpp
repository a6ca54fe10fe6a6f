// Any datagram, from any sender, through the reply reader and into a device list: drops are
// normal returns; only crashes and sanitizer reports count.
#include <cstddef>
#include <cstdint>
#include <span>
#include <variant>

#include "discovery/DeviceList.h"
#include "discovery/ReplyReader.h"

namespace {
struct NullTree final : omblor::discovery::DeviceTreeView {
    Item InsertItem(std::string_view, Item) override { return ++items; }
    void SetItemText(Item, std::string_view) override {}
    void SetStateImage(Item, int) override {}
    void SetItemRecord(Item, const omblor::discovery::DeviceRecord*) override {}
    void SelectItem(Item) override {}
    void DeleteAllItems() override {}
    Item items = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the sender: the relay address or an ordinary one.
    const omblor::discovery::Ipv4Address sender =
        (data[0] & 1) != 0 ? omblor::discovery::kRelayAddress
                           : omblor::discovery::Ipv4Address{{10, 1, 2, data[0]}};
    NullTree tree;
    omblor::discovery::DeviceList list(tree);
    // The same datagram twice exercises the merge rules for a repeated interface.
    for (int round = 0; round < 2; ++round) {
        auto reading = omblor::discovery::ReadReply(std::span(data + 1, size - 1), sender);
        if (auto* reply = std::get_if<omblor::discovery::ParsedReply>(&reading))
            list.AddReply(*reply);
    }
    (void)list.AcknowledgementEntries();
    return 0;
}
