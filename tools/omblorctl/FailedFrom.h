// --failed-from: which modules an earlier run left unprogrammed, read from its --json results or
// its --log. Both are one JSON object a line with "address" and "outcome"; a module's last line
// tells how it ended, so a module that failed and then was programmed (by a later attempt or a
// later run appending to the same log) is done.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace omblor::ctl {

// Dotted addresses in the order first seen.
using Addresses = std::vector<std::string>;

// Every address whose last line's outcome is neither "programmed" nor "skipped", or the reason
// the text cannot be read as results (naming the first line that is not one).
std::variant<Addresses, std::string> FailedAddressesIn(std::string_view text);

// The same for the file at `path`; the reason names the file.
std::variant<Addresses, std::string> FailedAddresses(const std::string& path);

}  // namespace omblor::ctl
