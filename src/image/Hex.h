// Hex pairs as application files spell them: two characters, high digit first, lower case
// accepted. No character is refused as a non-digit; every byte value maps to some digit value,
// so a stray character only shows up in the record's checksum. These are the hot loops of the
// reader and may decode in place (output at or before the text being read).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace omblor::image {

namespace hex_detail {
// The digit value of a character after upper-casing it; characters above 0x7F count as below
// 'A'. Only the value modulo 256 matters, and for the high digit only modulo 16.
constexpr std::uint8_t DigitValue(unsigned c) {
    const unsigned upper = (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
    const unsigned value = (upper < 'A' || upper > 0x7F) ? upper - '0' : upper - 'A' + 10;
    return static_cast<std::uint8_t>(value);
}

struct Tables {
    std::array<std::uint8_t, 256> high{};
    std::array<std::uint8_t, 256> low{};
};

constexpr Tables MakeTables() {
    Tables t;
    for (unsigned c = 0; c < 256; ++c) {
        t.low[c] = DigitValue(c);
        t.high[c] = static_cast<std::uint8_t>(DigitValue(c) << 4);
    }
    return t;
}

inline constexpr Tables kTables = MakeTables();
}  // namespace hex_detail

// The byte spelt by the characters high, low.
inline std::uint8_t HexByte(std::uint8_t high, std::uint8_t low) {
    return static_cast<std::uint8_t>(hex_detail::kTables.high[high] + hex_detail::kTables.low[low]);
}

// Decodes count bytes from the 2*count characters at text into out and returns their sum
// modulo 256. out may equal text or lie before it; it must not lie after it.
std::uint8_t DecodeHex(const std::uint8_t* text, std::size_t count, std::uint8_t* out);

// How many characters DecodeHexWide reads for count bytes: whole blocks of 16 bytes.
constexpr std::size_t WideReach(std::size_t count) {
    return (count + 15) / 16 * 32;
}

// Decodes count bytes rounded up to whole blocks into out (room for WideReach(count) / 2
// bytes), reading WideReach(count) characters, and returns the sum of the first count bytes.
// For records decoded whole into a scratch array, where reading a little past is allowed.
std::uint8_t DecodeHexWide(const std::uint8_t* text, std::size_t count, std::uint8_t* out);

// The plain one-byte-at-a-time forms, kept for checking the fast ones.
std::uint8_t DecodeHexScalar(const std::uint8_t* text, std::size_t count, std::uint8_t* out);

}  // namespace omblor::image
