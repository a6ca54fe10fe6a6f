#include "update/UpdateTexts.h"

#include <cstdio>
#include <cstring>

namespace omblor::update {

std::string ModuleEndpoint(std::uint32_t address, std::uint16_t port) {
    char text[40];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u port %u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF, static_cast<unsigned>(port));
    return text;
}

std::string OpenFailureDetails(std::string_view path, std::string_view reason) {
    return "File: " + std::string(path) + "\nReason: " + std::string(reason);
}

std::string RecordDetails(std::string_view path, std::size_t line, std::size_t column,
                          std::string_view record) {
    return "File: " + std::string(path) + "\nLine " + std::to_string(line) + ", column " +
           std::to_string(column) + "\nRecord: " + std::string(record);
}

std::string SocketErrorDetails(std::uint32_t address, std::uint16_t port, int error) {
    return "Module: " + ModuleEndpoint(address, port) + "\nReason: " + std::strerror(error);
}

std::string SilenceDetails(std::string_view lastLine, long long seconds) {
    std::string text = "Nothing heard from the module for " + std::to_string(seconds) + " s.\n";
    if (lastLine.empty()) return text + "No line came since the connection was started.";
    return text + "Last line heard: " + std::string(lastLine);
}

std::string LongLineDetails(std::string_view start) {
    return "The module's line began: " + std::string(start);
}

namespace status {

std::string Connecting(std::uint32_t address, std::uint16_t port) {
    return "Connecting to " + ModuleEndpoint(address, port) + "...";
}

std::string Platform(std::string_view name) {
    return name.empty() ? std::string("Connected; the module names no platform")
                        : "Connected; module platform " + std::string(name);
}

std::string WaitingForCredentials() {
    return "Waiting for the user name and password...";
}

std::string HeaderSent(std::uint32_t baseAddress, std::uint32_t length, HeaderAnswer answer) {
    if (answer == HeaderAnswer::Refused)
        return "Platform does not match the file; told the module so";
    char text[80];
    std::snprintf(text, sizeof text, "Image header sent: %u bytes at 0x%08X", length, baseAddress);
    return text;
}

std::string Sending(std::uint64_t sent, std::uint64_t total) {
    return "Sending the image: " + std::to_string(sent) + " of " + std::to_string(total) + " bytes";
}

std::string Programming(int percent) {
    return "Programming: " + std::to_string(percent) + "%";
}

std::string RebootReply(RebootChoice choice) {
    return choice == RebootChoice::Reboot ? "Told the module to reboot"
                                          : "Told the module not to reboot";
}

std::string Done() {
    return "Done";
}

}  // namespace status

}  // namespace omblor::update
