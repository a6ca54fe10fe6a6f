#include "app/CommandLine.h"

#include <cctype>

namespace omblor::app {

namespace {
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
        const char letter = dash + 1 < line.size()
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

}  // namespace omblor::app
