// Every text the application-file reader shows, byte for byte, trailing blanks and newlines
// included. Record-level messages end in " \n" like the ones operators already know.
#pragma once

#include <string_view>

namespace omblor::image::messages {

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

}  // namespace omblor::image::messages
