#include "image/Hex.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace omblor::image {

std::uint8_t DecodeHexScalar(const std::uint8_t* text, std::size_t count, std::uint8_t* out) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // Both characters are read before the store, which may land on the first of them.
        const std::uint8_t byte = HexByte(text[2 * i], text[2 * i + 1]);
        out[i] = byte;
        sum += byte;
    }
    return static_cast<std::uint8_t>(sum);
}

#if defined(__SSE2__)
namespace {
// Digit values of 16 characters, by the same rule as hex_detail::DigitValue, modulo 256.
inline __m128i DigitValues(__m128i c) {
    // Signed compares: characters above 0x7F are negative, so never lower case and always
    // "below 'A'", as the rule wants.
    const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('a' - 1)),
                                        _mm_cmplt_epi8(c, _mm_set1_epi8('z' + 1)));
    const __m128i upper = _mm_sub_epi8(c, _mm_and_si128(lower, _mm_set1_epi8('a' - 'A')));
    const __m128i below = _mm_cmplt_epi8(upper, _mm_set1_epi8('A'));
    const __m128i offset = _mm_xor_si128(_mm_set1_epi8('A' - 10),
                                         _mm_and_si128(below, _mm_set1_epi8('0' ^ ('A' - 10))));
    return _mm_sub_epi8(upper, offset);
}

// 8 bytes from 16 characters, one byte in the low half of each 16-bit lane.
inline __m128i PairBytes(__m128i c) {
    const __m128i v = DigitValues(c);
    const __m128i mask = _mm_set1_epi16(0x00FF);
    // Little-endian lanes: the high digit is the lane's low byte.
    const __m128i high = _mm_slli_epi16(_mm_and_si128(v, mask), 4);
    const __m128i low = _mm_srli_epi16(v, 8);
    return _mm_and_si128(_mm_add_epi16(high, low), mask);
}

inline unsigned SumBytes(__m128i bytes) {
    const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
    return static_cast<unsigned>(_mm_cvtsi128_si32(sums) +
                                 _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}
}  // namespace

std::uint8_t DecodeHex(const std::uint8_t* text, std::size_t count, std::uint8_t* out) {
    unsigned sum = 0;
    std::size_t i = 0;
    // 16 bytes from 32 characters a turn. Both loads come before the store, and the store ends
    // before the next turn's first character, so decoding in place is safe.
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i + 16));
        const __m128i bytes = _mm_packus_epi16(PairBytes(a), PairBytes(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        sum += SumBytes(bytes);
    }
    sum += DecodeHexScalar(text + 2 * i, count - i, out + i);
    return static_cast<std::uint8_t>(sum);
}

std::uint8_t DecodeHexWide(const std::uint8_t* text, std::size_t count, std::uint8_t* out) {
    // 16 bytes of 0xFF then 16 of zero: loading at 16 - n keeps the first n bytes of a block.
    alignas(16) static constexpr std::uint8_t kKeep[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                           0xFF, 0xFF, 0xFF, 0xFF};
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 2 * i + 16));
        const __m128i bytes = _mm_packus_epi16(PairBytes(a), PairBytes(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        const std::size_t kept = count - i < 16 ? count - i : 16;
        const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + 16 - kept));
        sum += SumBytes(_mm_and_si128(bytes, keep));
    }
    return static_cast<std::uint8_t>(sum);
}

#else
std::uint8_t DecodeHexWide(const std::uint8_t* text, std::size_t count, std::uint8_t* out) {
    return DecodeHexScalar(text, count, out);
}

std::uint8_t DecodeHex(const std::uint8_t* text, std::size_t count, std::uint8_t* out) {
    return DecodeHexScalar(text, count, out);
}
#endif

}  // namespace omblor::image
