// The application image read from an S-record file: the bytes to load, where the first of them
// goes, how many there are, and the platform name from the file's header line. It owns the
// reader's one buffer, so the image bytes are the first `length` bytes of that buffer; it does
// not know how it was read or where it will be sent.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/ImageBuffer.h"

namespace omblor::image {

struct AppImage {
    ImageBuffer buffer;
    std::uint32_t baseAddress = 0;
    // Image bytes, the zero padding at the end included.
    std::uint32_t length = 0;
    // At most 79 characters, taken as they stand from the first line after "S0".
    std::string headerText;

    [[nodiscard]] std::span<const std::uint8_t> Bytes() const { return {buffer.data(), length}; }
};

}  // namespace omblor::image
