// What the update tells the operator beyond the fixed message texts: the details part of its
// failure boxes and the progress dialog's status line. Pure formatting, so each is testable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "update/UpdateProtocol.h"

namespace omblor::update {

// "10.1.2.3 port 20034"
std::string ModuleEndpoint(std::uint32_t address, std::uint16_t port);

// Details of failure boxes.
std::string OpenFailureDetails(std::string_view path, std::string_view reason);
std::string RecordDetails(std::string_view path, std::size_t line, std::size_t column,
                          std::string_view record);
std::string SocketErrorDetails(std::uint32_t address, std::uint16_t port, int error);
// `lastLine` empty when nothing was heard.
std::string SilenceDetails(std::string_view lastLine, long long seconds);
std::string LongLineDetails(std::string_view start);

// The status line under the progress bar.
namespace status {
std::string Connecting(std::uint32_t address, std::uint16_t port);
std::string Platform(std::string_view name);
std::string WaitingForCredentials();
std::string HeaderSent(std::uint32_t baseAddress, std::uint32_t length, HeaderAnswer answer);
std::string Sending(std::uint64_t sent, std::uint64_t total);
std::string Programming(int percent);
std::string RebootReply(RebootChoice choice);
std::string Done();
}  // namespace status

}  // namespace omblor::update
