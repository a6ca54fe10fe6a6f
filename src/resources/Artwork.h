// The pictures: the application icon (resource 128, 32 x 32) and the state images of the device
// tree (bitmap 133: a 128 x 16 strip of eight 16 x 16 images, 16 colours, mask colour
// RGB(16, 0, 0) shown transparent). Plain XPM text, so the core needs no image library.
#pragma once

#include <cstdint>
#include <span>

namespace omblor::resources {

inline constexpr int kStateImageWidth = 16;
inline constexpr std::uint32_t kStateImageMaskColour = 0x000010;  // COLORREF of RGB(16, 0, 0)

std::span<const char* const> AppIconXpm();
std::span<const char* const> StateImagesXpm();

}  // namespace omblor::resources
