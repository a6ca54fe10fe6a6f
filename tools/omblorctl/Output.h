// How omblorctl prints: one JSON object a line for scripts, an aligned table for people. Text
// from outside (module names, error lines) is escaped either way, so it can never break a line.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ModuleResult.h"
#include "discovery/DeviceRecord.h"

namespace omblor::ctl {

// A JSON string with its quotes. Module texts are bytes, not UTF-8: a byte above 0x7E is
// written as the code point of the same value, so every line stays valid JSON.
std::string JsonString(std::string_view text);

// Columns padded to their widest cell, two blanks apart; each row ends in a newline.
std::string FormatTable(const std::vector<std::vector<std::string>>& rows);

// Seconds with three decimals, as every line and row gives them.
std::string SecondsText(double seconds);

// "00-11-22-33-44-55".
std::string MacText(const discovery::MacAddress& mac);
// The interfaces of a module the search grouped; a single module is its own one interface.
std::vector<const discovery::DeviceRecord*> InterfacesOf(const discovery::DeviceRecord& module);

// One module heard by a search.
std::string FoundJsonLine(const discovery::DeviceRecord& module);
std::string FoundTable(std::span<const std::unique_ptr<discovery::DeviceRecord>> modules);

std::string ResultJsonLine(const ModuleResult& result);
// The result table is printed a row at a time, as each module ends, so its columns have fixed
// widths (an IPv4 address at most 15 characters; the outcome last, as long as it is).
std::string ResultTableHeader();
std::string ResultTableRow(const ModuleResult& result);
// "module error: Flash write failed", or the word alone when there is no detail.
std::string OutcomeText(const ModuleResult& result);

}  // namespace omblor::ctl
