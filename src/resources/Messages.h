// Every sentence the operator reads in a message box, byte for byte as shown, trailing blanks and
// newlines included; the numbered string resources live in Strings.h.
#pragma once

#include <string_view>

namespace omblor::messages {

// Main window and its commands.
inline constexpr std::string_view kIpNotSet = "IP not set";
inline constexpr std::string_view kInvalidIpAddress = "Invalid IP address ";
inline constexpr std::string_view kProgrammingCompleted = "Programming Completed without Error.";
inline constexpr std::string_view kUpdateFailed = "Update Failed";
inline constexpr std::string_view kByteRange = "Enter an integer between 0 and 255.";

// Discovery.
inline constexpr std::string_view kSelectADevice =
    "You must first select a device in the\nSelect a Unit in the tree.";
inline constexpr std::string_view kUnableToBind = "Unable to Bind socket, is Omblor already open?";

// The update exchange. Its errors are shown as kErrorPrefix followed by a text: the module's own,
// or one of the tool's below (each a module-style line's text, so it starts with a blank).
inline constexpr std::string_view kErrorPrefix = "Error:";
inline constexpr std::string_view kTimedOut = " Timed out";
inline constexpr std::string_view kConnectError = " Connect error";
inline constexpr std::string_view kReceiveError = " Receive error";
inline constexpr std::string_view kLineTooLong = " Line too long";
inline constexpr std::string_view kSendError = "Send Error";
// printf format: the socket error number, then 0.
inline constexpr const char* kErrorOnConnectFormat = "Error on Connect = %ld for %d";

// The application-file reader. Record-level messages end in " \n" like the ones operators
// already know.

inline constexpr std::string_view kFailedToOpen = "Failed to open file";
// "Checksum Error " followed by the computed sum in lower-case hex and "\n".
inline constexpr std::string_view kChecksumErrorPrefix = "Checksum Error ";
inline constexpr std::string_view kChecksumError = "S record checksum error \n";
inline constexpr std::string_view kNotAscending = "Srecords must be in asending order \n";
inline constexpr std::string_view kConversionError = "Conversion Error \n";

inline constexpr std::string_view kFileTooLarge = "File too large";
inline constexpr std::string_view kOutOfMemory = "Not enough memory to read file";
inline constexpr std::string_view kNoDataRecords = "No data records in file";
inline constexpr std::string_view kRecordCutShort = "S record cut short by end of file \n";
inline constexpr std::string_view kCountTooSmall = "S record count too small for its address \n";

}  // namespace omblor::messages
