#include "Output.h"

#include <algorithm>
#include <cstdio>

#include "discovery/ReplyRecord.h"
#include "text/OutsideText.h"

namespace omblor::ctl {

using discovery::DeviceRecord;

namespace {

std::string UsableAddressOf(const DeviceRecord& device) {
    const auto address = discovery::UsableAddress(device.record, device.source);
    return address.IsZero() ? std::string() : address.Dotted();
}

// The application's name without the colon the tree puts before it.
std::string_view ApplicationOf(const DeviceRecord& device) {
    return discovery::ApplicationName(device.applicationText);
}

const char* Bool(bool value) {
    return value ? "true" : "false";
}
const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

}  // namespace

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string MacText(const discovery::MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::vector<const DeviceRecord*> InterfacesOf(const DeviceRecord& module) {
    std::vector<const DeviceRecord*> interfaces;
    if (!module.IsGrouped()) interfaces.push_back(&module);
    for (const auto& entry : module.interfaces) interfaces.push_back(entry.get());
    return interfaces;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        }
    }
    return out + '"';
}

std::string FormatTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line.append(widths[i] - row[i].size() + 2, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + '\n';
    }
    return out;
}

std::string FoundJsonLine(const DeviceRecord& module) {
    std::string line = "{\"address\": " + JsonString(UsableAddressOf(module)) +
                       ", \"platform\": " + JsonString(module.platformName) +
                       ", \"application\": " + JsonString(ApplicationOf(module)) +
                       ", \"agrees\": " + Bool(module.Agrees()) +
                       ", \"relayed\": " + Bool(module.relayed) + ", \"interfaces\": [";
    const char* separator = "";
    for (const DeviceRecord* entry : InterfacesOf(module)) {
        line += separator;
        line += "{\"mac\": " + JsonString(MacText(entry->record.InterfaceMac())) + ", \"type\": " +
                JsonString(discovery::InterfaceTypeName(entry->record.InterfaceType())) +
                ", \"address\": " + JsonString(UsableAddressOf(*entry)) +
                ", \"agrees\": " + Bool(entry->Agrees()) + "}";
        separator = ", ";
    }
    return line + "]}\n";
}

std::string FoundTable(std::span<const std::unique_ptr<DeviceRecord>> modules) {
    std::vector<std::vector<std::string>> rows = {{"ADDRESS", "PLATFORM", "APPLICATION", "AGREES",
                                                   "RELAYED", "INTERFACE", "TYPE", "AT", "AGREES"}};
    using text::EscapeOutsideText;
    for (const auto& module : modules) {
        bool first = true;
        for (const DeviceRecord* entry : InterfacesOf(*module)) {
            std::vector<std::string> row(5);
            if (first) {
                row = {UsableAddressOf(*module), EscapeOutsideText(module->platformName),
                       EscapeOutsideText(ApplicationOf(*module)), YesNo(module->Agrees()),
                       YesNo(module->relayed)};
            }
            first = false;
            row.insert(row.end(),
                       {MacText(entry->record.InterfaceMac()),
                        std::string(discovery::InterfaceTypeName(entry->record.InterfaceType())),
                        UsableAddressOf(*entry), YesNo(entry->Agrees())});
            rows.push_back(std::move(row));
        }
    }
    return FormatTable(rows);
}

std::string ResultJsonLine(const ModuleResult& result) {
    std::string line = "{\"address\": " + JsonString(result.address) +
                       ", \"outcome\": " + JsonString(result.outcome) +
                       ", \"detail\": " + JsonString(result.detail) +
                       ", \"seconds\": " + SecondsText(result.seconds) +
                       ", \"bytes\": " + std::to_string(result.bytes) +
                       ", \"attempts\": " + std::to_string(result.attempts);
    if (result.confirmed) {
        line += ", \"confirmed\": " + std::string(Bool(*result.confirmed));
        if (*result.confirmed) line += ", \"application\": " + JsonString(result.application);
    }
    return line + "}\n";
}

std::string OutcomeText(const ModuleResult& result) {
    return result.detail.empty() ? result.outcome : result.outcome + ": " + result.detail;
}

namespace {

// ADDRESS, SECONDS, BYTES, ATTEMPTS; OUTCOME takes the rest of the line.
constexpr std::size_t kResultWidths[] = {15, 9, 10, 8};

std::string ResultRow(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < std::size(kResultWidths); ++i) {
        line += cells[i];
        line.append(std::max(kResultWidths[i], cells[i].size()) - cells[i].size() + 2, ' ');
    }
    line += cells.back();
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line + '\n';
}

}  // namespace

std::string ResultTableHeader() {
    return ResultRow({"ADDRESS", "SECONDS", "BYTES", "ATTEMPTS", "OUTCOME"});
}

std::string ResultTableRow(const ModuleResult& result) {
    std::string outcome = OutcomeText(result);
    if (result.confirmed.value_or(false)) outcome += " (confirmed: " + result.application + ")";
    return ResultRow({result.address, SecondsText(result.seconds), std::to_string(result.bytes),
                      std::to_string(result.attempts), text::EscapeOutsideText(outcome)});
}

}  // namespace omblor::ctl
