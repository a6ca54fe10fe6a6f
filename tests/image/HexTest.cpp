// Hex pairs: the digit rule for odd characters, and the block decoders against the plain one
// over every pair of characters, in place, at every length.
#include <gtest/gtest.h>

#include <vector>

#include "image/Hex.h"

namespace omblor::image {
namespace {

TEST(HexByte, digits_of_either_case_and_odd_characters) {
    // Not digits, yet every character has a value: 'G' is 16, ':' is 10, ' ' is -16, above 0x7F
    // counts as below 'A' (0x80 - '0' = 0x50), '[' is '[' - 'A' + 10 = 36.
    const std::vector<std::pair<std::string, std::uint8_t>> cases = {
        {"00", 0x00},    {"9F", 0x9F},       {"ab", 0xAB}, {"Ff", 0xFF}, {"c3", 0xC3},
        {"0G", 0x10},    {"G0", 0x00},       {"1:", 0x1A}, {"2 ", 0x10}, {"\2000", 0x00},
        {"0\200", 0x50}, {"\377\377", 0xBF}, {"0[", 0x24}, {"0{", 0x44}};
    for (const auto& [text, byte] : cases) {
        EXPECT_EQ(HexByte(static_cast<std::uint8_t>(text[0]), static_cast<std::uint8_t>(text[1])),
                  byte)
            << text;
    }
}

TEST(DecodeHex, block_decoders_agree_with_the_plain_one_in_place_at_every_length) {
    // Every pair of characters, so the vector digit rule meets all 256 values in both places.
    std::vector<std::uint8_t> all;
    for (unsigned pair = 0; pair < 0x10000; ++pair) {
        all.push_back(static_cast<std::uint8_t>(pair >> 8));
        all.push_back(static_cast<std::uint8_t>(pair));
    }
    const std::size_t count = all.size() / 2;
    std::vector<std::uint8_t> plain(count);
    const std::uint8_t plainSum = DecodeHexScalar(all.data(), count, plain.data());
    std::vector<std::uint8_t> wide(count + 16);
    EXPECT_EQ(DecodeHexWide(all.data(), count, wide.data()), plainSum);
    wide.resize(count);
    EXPECT_EQ(wide, plain);

    for (std::size_t n = 0; n <= 70; ++n) {
        const auto text = all.begin() + static_cast<std::ptrdiff_t>(1000 + 37 * n);
        std::vector<std::uint8_t> expected(n);
        const std::uint8_t sum = DecodeHexScalar(&*text, n, expected.data());
        // In place: the output starts at the text.
        std::vector<std::uint8_t> buffer(text, text + static_cast<std::ptrdiff_t>(2 * n + 1));
        EXPECT_EQ(DecodeHex(buffer.data(), n, buffer.data()), sum) << n;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin())) << n;
        // The wide form counts only the first n bytes of its last block.
        std::vector<std::uint8_t> padded(text, text + static_cast<std::ptrdiff_t>(2 * n));
        padded.resize(WideReach(n), 'F');
        std::vector<std::uint8_t> scratch(n + 16);
        EXPECT_EQ(DecodeHexWide(padded.data(), n, scratch.data()), sum) << n;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), scratch.begin())) << n;
    }
}

}  // namespace
}  // namespace omblor::image
