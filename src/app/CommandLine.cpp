#include "app/CommandLine.h"

#include <cctype>

#include "resources/Strings.h"

namespace omblor::app {

namespace {

constexpr std::string_view kUsage =
    "usage: omblor [-A] [-F<file>] [-I<a.b.c.d>] [-R]\n"
    "       omblor --help | --version\n"
    "Writes an application file (*_APP.s19) into a network-attached module.\n"
    "\n"
    "Switches (a '-' and one letter, in either case):\n"
    "  -A            start the update at once; no message after a successful update\n"
    "  -F<file>      the application file (the name ends at the next blank)\n"
    "  -I<a.b.c.d>   the module's address, replacing the stored one\n"
    "  -R            reboot when complete (already the default)\n"
    "\n"
    "Exit codes: 255 (-1) when the main window is dismissed; 0 after a successful update and\n"
    "in every other case.\n"
    "\n"
    "Environment:\n"
    "  OMBLOR_UI         console: every window runs in the terminal; qt: the Qt window;\n"
    "                    unset: Qt when DISPLAY or WAYLAND_DISPLAY is set\n"
    "  OMBLOR_HKLM       the settings hive file\n"
    "  XDG_CONFIG_HOME   without OMBLOR_HKLM the hive is $XDG_CONFIG_HOME/Tarvik/HKLM.reg\n"
    "                    (default ~/.config/Tarvik/HKLM.reg)\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

std::uint32_t ParseDottedAddress(std::string_view text) {
    std::uint32_t acc = 0;
    unsigned dots = 0;
    std::uint16_t cur = 0;
    for (const char c : text) {
        if (c == '.') {
            acc = acc * 256U + cur;
            cur = 0;
            if (++dots == 4) return acc;
        } else if (c >= '0' && c <= '9') {
            cur = static_cast<std::uint16_t>(cur * 10U + static_cast<unsigned>(c - '0'));
        } else if (IsBlank(c) || c == '-') {
            if (dots == 3) break;
        }
    }
    return (acc * 256U) | cur;
}

CommandLineOptions ScanCommandLine(std::string_view line) {
    CommandLineOptions options;
    std::size_t pos = 0;
    // From the '-' at `dash` to the first blank after it; npos when the text ends first.
    auto skipAhead = [&](std::size_t dash) -> std::size_t {
        for (std::size_t i = dash; i < line.size(); ++i) {
            if (IsBlank(line[i])) return i;
        }
        return std::string_view::npos;
    };
    while (pos < line.size()) {
        const std::size_t dash = line.find('-', pos);
        if (dash == std::string_view::npos) break;
        const char letter =
            dash + 1 < line.size()
                ? static_cast<char>(std::toupper(static_cast<unsigned char>(line[dash + 1])))
                : '\0';
        std::size_t next = std::string_view::npos;
        switch (letter) {
            case 'A':
                options.autoMode = true;
                next = skipAhead(dash);
                break;
            case 'R':
                options.reboot = true;
                next = skipAhead(dash);
                break;
            case 'I':
                options.address = ParseDottedAddress(line.substr(dash + 2));
                next = skipAhead(dash);
                break;
            case 'F': {
                std::size_t end = dash + 2;
                while (end < line.size() && !IsBlank(line[end])) ++end;
                options.fileName = std::string(line.substr(dash + 2, end - (dash + 2)));
                next = end < line.size() ? end : std::string_view::npos;
                break;
            }
            default:
                next = dash + 1;
                break;
        }
        if (next == std::string_view::npos) break;
        pos = next;
    }
    return options;
}

std::optional<std::string> InformationText(std::string_view commandLine) {
    if (commandLine == "--help") return std::string(kUsage);
    if (commandLine == "--version") {
        return "omblor " + std::string(resources::VersionText()) + "\n";
    }
    return std::nullopt;
}

}  // namespace omblor::app
