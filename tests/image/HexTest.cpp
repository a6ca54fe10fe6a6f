// Hex pairs: the digit rule for every character, and the block decoders against the plain one
// over every pair of characters, in place and at every length.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "image/Hex.h"

namespace omblor::image {
namespace {

TEST(HexByte, digits_of_either_case_and_odd_characters) {
    struct Case {
        char high;
        char low;
        std::uint8_t byte;
    };
    const Case cases[] = {
        {'0', '0', 0x00},
        {'9', 'F', 0x9F},
        {'a', 'b', 0xAB},
        {'F', 'f', 0xFF},
        {'c', '3', 0xC3},
        // Not digits, yet every character has a value: 'G' is 16, ':' is 10, ' ' is -16.
        {'0', 'G', 0x10},
        {'G', '0', 0x00},
        {'1', ':', 0x1A},
        {'2', ' ', 0x10},
        // Above 0x7F counts as below 'A': 0x80 - '0' = 0x50.
        {'\x80', '0', 0x00},
        {'0', '\x80', 0x50},
        {'\xFF', '\xFF', 0xBF},
        // Above 'Z' but not lower case: '[' - 'A' + 10 = 36.
        {'0', '[', 0x24},
        {'0', '{', 0x44},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexByte(static_cast<std::uint8_t>(c.high), static_cast<std::uint8_t>(c.low)),
                  c.byte)
            << c.high << c.low;
    }
}

// Every pair of characters, so the vector digit rule is checked on all 256 values in both places.
std::vector<std::uint8_t> AllPairs() {
    std::vector<std::uint8_t> text;
    for (unsigned high = 0; high < 256; ++high) {
        for (unsigned low = 0; low < 256; ++low) {
            text.push_back(static_cast<std::uint8_t>(high));
            text.push_back(static_cast<std::uint8_t>(low));
        }
    }
    return text;
}

TEST(DecodeHex, block_decoders_agree_with_the_plain_one) {
    const std::vector<std::uint8_t> text = AllPairs();
    const std::size_t count = text.size() / 2;
    std::vector<std::uint8_t> plain(count);
    const std::uint8_t plainSum = DecodeHexScalar(text.data(), count, plain.data());

    std::vector<std::uint8_t> fast(count);
    EXPECT_EQ(DecodeHex(text.data(), count, fast.data()), plainSum);
    EXPECT_EQ(fast, plain);
    EXPECT_EQ(SumHex(text.data(), count), plainSum);

    std::vector<std::uint8_t> wide(count + 16);
    EXPECT_EQ(DecodeHexWide(text.data(), count, wide.data()), plainSum);
    wide.resize(count);
    EXPECT_EQ(wide, plain);
}

TEST(DecodeHex, in_place_at_every_length_and_offset) {
    const std::vector<std::uint8_t> all = AllPairs();
    for (std::size_t count = 0; count <= 70; ++count) {
        for (std::size_t shift = 0; shift <= 2 * count; shift += count + 1) {
            // Output starts shift bytes before the text: at it, or well before it.
            const std::size_t start = 1000 + 37 * count;
            std::vector<std::uint8_t> buffer(
                all.begin() + static_cast<std::ptrdiff_t>(start),
                all.begin() + static_cast<std::ptrdiff_t>(start + 4 * count + 64));
            const std::vector<std::uint8_t> text(
                buffer.begin() + static_cast<std::ptrdiff_t>(shift),
                buffer.begin() + static_cast<std::ptrdiff_t>(shift + 2 * count));
            std::vector<std::uint8_t> expected(count);
            const std::uint8_t sum = DecodeHexScalar(text.data(), count, expected.data());

            EXPECT_EQ(SumHex(text.data(), count), sum) << count;
            EXPECT_EQ(DecodeHex(buffer.data() + shift, count, buffer.data()), sum) << count;
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()))
                << count << "/" << shift;

            // The wide form counts only the first count bytes of its last block.
            std::vector<std::uint8_t> scratch(count + 16);
            std::vector<std::uint8_t> padded(text);
            padded.resize(WideReach(count), 'F');
            EXPECT_EQ(DecodeHexWide(padded.data(), count, scratch.data()), sum) << count;
        }
    }
}

}  // namespace
}  // namespace omblor::image
