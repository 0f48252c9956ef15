#pragma once

// Byte classes of script text found many bytes at a time: the line feeds of 64 bytes, the
// token bytes of 16, and whether two texts share their first bytes. Each is a bit mask with
// bit i for byte i. Built with SSE2 where the processor has it; the portable forms give the
// same masks anywhere, and a build with ZELK_PORTABLE defined uses them on any machine.
//
// The runner keeps some texts with padding after them so that these can read whole blocks
// past a text's end: such storage has at least ChunkSize readable bytes after the text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(ZELK_PORTABLE)
#define ZELK_SSE2 1
#include <emmintrin.h>
#else
#define ZELK_SSE2 0
#endif

namespace zelk::sim {

// How many readable bytes padded storage has after its text; texts in such storage are
// copied in whole chunks of this many bytes, which is faster than copying their exact length.
inline constexpr std::size_t ChunkSize = 32;

// How the storage of a text ends. Padded: at least ChunkSize readable bytes follow the text
// (whatever they hold), so that it can be read in whole blocks past its end.
enum class Storage { Exact, Padded };

// Whether SSE2 forms are built (false: the portable forms).
inline constexpr bool UsesSse2 = ZELK_SSE2 != 0;

// White space of the classic locale: space, \t, \n, \v, \f and \r.
inline constexpr std::array<bool, 256> BlankBytes = [] {
    std::array<bool, 256> table{};
    for (const char ch : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        table[static_cast<unsigned char>(ch)] = true;
    }
    return table;
}();
constexpr bool isBlank(char ch) { return BlankBytes[static_cast<unsigned char>(ch)]; }

// Bit i set where byte i of the 64 bytes at `bytes` is a line feed.
inline std::uint64_t newlineBits64(const char* bytes) {
#if ZELK_SSE2
    std::uint64_t bits = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * part));
        const auto found =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))));
        bits |= std::uint64_t{found} << (16 * part);
    }
    return bits;
#else
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 64; ++i) {
        bits |= std::uint64_t{bytes[i] == '\n'} << i;
    }
    return bits;
#endif
}

// How many line feeds the `size` bytes at `bytes` hold.
inline std::size_t countNewlines(const char* bytes, std::size_t size) {
    std::size_t count = 0;
    std::size_t at = 0;
#if ZELK_SSE2
    // Each byte lane counts its line feeds down from 0 (a match is -1) for up to 255 blocks,
    // then the lanes are summed.
    const __m128i feed = _mm_set1_epi8('\n');
    while (size - at >= 16) {
        __m128i lanes = _mm_setzero_si128();
        for (std::size_t blocks = 0; blocks < 255 && size - at >= 16; ++blocks, at += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, feed));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; at < size; ++at) {
        count += bytes[at] == '\n' ? 1 : 0;
    }
    return count;
}

// Bit i set where byte i of the 16 bytes at `bytes` is not white space (isBlank).
inline unsigned nonBlankBits16(const char* bytes) {
#if ZELK_SSE2
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i space = _mm_cmpeq_epi8(block, _mm_set1_epi8(' '));
    // \t \n \v \f \r are 9 to 13: below 5 once 9 is taken off, as unsigned bytes.
    const __m128i fromTab = _mm_sub_epi8(block, _mm_set1_epi8('\t'));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, _mm_set1_epi8(4)), fromTab);
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(space, control))) & 0xFFFFU;
#else
    unsigned bits = 0;
    for (unsigned i = 0; i < 16; ++i) {
        bits |= static_cast<unsigned>(!isBlank(bytes[i])) << i;
    }
    return bits;
#endif
}

// Whether the first `size` bytes (at most 32) at `a` and at `b` are the same; both have 32
// readable bytes.
inline bool sameLeadingBytes32(const char* a, const char* b, std::size_t size) {
#if ZELK_SSE2
    std::uint32_t same = 0;
    for (std::size_t part = 0; part < 2; ++part) {
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 16 * part));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16 * part));
        same |= static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(left, right)))
                << (16 * part);
    }
    const std::uint32_t wanted = size >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << size) - 1;
    return (same & wanted) == wanted;
#else
    return std::memcmp(a, b, size < 32 ? size : 32) == 0;
#endif
}

}  // namespace zelk::sim
