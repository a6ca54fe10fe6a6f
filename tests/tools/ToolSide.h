// The tool's side of one update exchange in a few blocking calls, for tests of the simulated
// module itself: it answers every line as the tool would (header, an image of zeros, the reboot
// choice), closes after the module's last line or an error line, and returns the codes it saw.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace omblor::testing {

struct ToolRun {
    bool connected = false;
    std::string codes;          // the module's line codes in order, blank-separated; noise is 0
    std::string lastText;       // the last line's text
    std::size_t firstRead = 0;  // bytes the first read brought
};

// `beforeClose` runs after the module's last line, while the connection is still open.
inline ToolRun PlayTool(const std::string& address, std::uint32_t imageLength, char reboot = 'R',
                        const std::function<void()>& beforeClose = {}) {
    ToolRun run;
    const platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(20034);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return run;
    run.connected = true;
    const auto send = [&](const std::string& bytes) {
        [[maybe_unused]] const auto n = ::send(fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    };
    std::string pending;
    for (;;) {
        pollfd p{fd.Get(), POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return run;  // a silent module
        char buffer[4096];
        const auto n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n <= 0) return run;  // the module closed
        if (run.firstRead == 0) run.firstRead = static_cast<std::size_t>(n);
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
            run.lastText = pending.substr(0, end);
            pending.erase(0, end + 2);
            const long code = std::strtol(run.lastText.c_str(), nullptr, 10);
            run.codes += (run.codes.empty() ? "" : " ") + std::to_string(code);
            if (code == 102) {
                const std::uint8_t header[8] = {0,
                                                1,
                                                0,
                                                0,
                                                std::uint8_t(imageLength >> 24),
                                                std::uint8_t(imageLength >> 16),
                                                std::uint8_t(imageLength >> 8),
                                                std::uint8_t(imageLength)};
                send(std::string(reinterpret_cast<const char*>(header), 8));
            } else if (code == 103) {
                send(std::string(imageLength, '\0'));
            } else if (code == 105) {
                send(std::string(1, reboot));
            } else if (code == 106 || code == 107 || (code > 200 && code <= 300)) {
                if (beforeClose) beforeClose();
                return run;
            }
        }
    }
}

}  // namespace omblor::testing
