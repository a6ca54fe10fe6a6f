// Reads an application file (Motorola S-record text) into an AppImage, telling the operator
// through a MessageSink why a file is refused. It reads one file synchronously and keeps
// nothing between calls; it knows nothing of windows or of the module the image is for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/AppImage.h"
#include "image/MessageSink.h"

namespace omblor::image {

// Longest path accepted, not counting a terminator.
inline constexpr std::size_t kMaxPathLength = 258;

// The file's image, or nothing once the reasons have been shown through sink.
std::optional<AppImage> LoadAppImage(std::string_view path, MessageSink& sink);

// Rewrites a path of the form //c/dir/file as c:\dir\file; any other path is left alone.
void ConvertSlashPath(std::string& path);

// A record's bytes as VerifyRecordChecksum decodes them: the count byte, then the count bytes
// after it, with room to decode in whole blocks of 16.
using RecordBytes = std::array<std::uint8_t, 256 + 16>;

// Whether the record starting at record's 'S' adds up to 0xFF, its bytes decoded into bytes on
// the way. record runs from the 'S' to the end of the text; a record longer than that is
// refused as cut short. On false the message has been shown through sink.
bool VerifyRecordChecksum(std::string_view record, RecordBytes& bytes, MessageSink& sink);

// Shows "Checksum Error <sum>\n" with the sum in lower-case hex.
void ShowChecksumError(std::uint8_t sum, MessageSink& sink);

}  // namespace omblor::image
