// The command-line switches (-A, -F<name>, -I<address>, -R) and the dotted-address parser of
// -I. Parsed into a plain struct; the main window applies it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace omblor::app {

struct CommandLineOptions {
    bool autoMode = false;
    bool reboot = true;
    std::optional<std::string> fileName;   // the last -F, when there is one
    std::optional<std::uint32_t> address;  // the last -I, when there is one (may be 0)
};

CommandLineOptions ScanCommandLine(std::string_view commandLine);

// The text to print instead of running when the whole command line is exactly "--help" (the
// usage) or "--version"; nothing for any other line, which goes to ScanCommandLine unchanged.
std::optional<std::string> InformationText(std::string_view commandLine);

// Reads "a.b.c.d" into a host-order value by the parser's own stop rules: it stops at the fourth
// dot, or at a blank or '-' once three dots were seen; other characters are skipped and numbers
// are not range-checked.
std::uint32_t ParseDottedAddress(std::string_view text);

}  // namespace omblor::app
