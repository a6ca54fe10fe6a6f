// One entry of the device list: a module heard on one interface, a module grouped from several
// interfaces, or one interface of such a group. It holds the reply data that labels and
// addresses are computed from; merging replies into records is DeviceList's job.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "discovery/DeviceTreeView.h"
#include "discovery/Ipv4Address.h"
#include "discovery/ReplyReader.h"
#include "discovery/ReplyRecord.h"

namespace omblor::discovery {

struct DeviceRecord {
    // Copies the reply's data; the key is fixed from here on.
    explicit DeviceRecord(const ParsedReply& reply)
        : source(reply.source),
          deviceKey(DeviceKey(reply.record)),
          platformName(reply.platformName),
          applicationText(reply.applicationText),
          record(reply.record),
          relayed(reply.relayed) {}

    [[nodiscard]] bool IsGrouped() const { return !interfaces.empty(); }
    [[nodiscard]] bool IsInterface() const { return parent != nullptr; }
    [[nodiscard]] bool Agrees() const { return AgreesWithSource(record, source); }

    // A grouped module's interfaces in order of first arrival; empty for every other record.
    std::vector<std::unique_ptr<DeviceRecord>> interfaces;
    // The grouped module an interface record belongs to; not owned.
    DeviceRecord* parent = nullptr;
    Ipv4Address source;
    MacAddress deviceKey{};
    std::string platformName;
    std::string applicationText;
    ReplyRecord record;
    // The reply came through the relay address.
    bool relayed = false;
    DeviceTreeView::Item treeItem = DeviceTreeView::kNoItem;
};

// The item text, e.g. "QX19  at 10.1.2.3 running :App" for a module with a configured address.
[[nodiscard]] std::string ItemLabel(const DeviceRecord& device);

// 1 for a grouped module; otherwise 2 (wired) or 4 (wireless), plus 1 when the reply does not
// agree with its source.
[[nodiscard]] int StateImageIndex(const DeviceRecord& device);

}  // namespace omblor::discovery
