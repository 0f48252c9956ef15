#pragma once

// Token and text helpers of the simulator: cutting a script line into tokens, reading
// boolean and integer arguments, and the fixed words of the output protocol. They hold no
// state, print nothing and throw nothing. Case handling is plain ASCII ("C" locale).

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelk::sim {

// The script runner copies some texts in whole chunks of this many bytes, which is faster
// than copying exactly their length: the storage of each such text has at least this many
// readable bytes after its end.
inline constexpr std::size_t ChunkSize = 32;

// Every ASCII letter lowered; other bytes (UTF-8 included) pass through unchanged.
std::string toLower(std::string value);

// `ch` lowered if it is an ASCII letter A to Z: what tolower does in the "C" locale, which
// this program never changes. Spelled out, it is several times faster than the library call.
constexpr char lowerAscii(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// `text` lowered as toLower does, into `buffer`, for comparing with lower-case words without
// building a string. A text longer than the buffer gives an empty view.
template <std::size_t N>
constexpr std::string_view lowerInto(std::string_view text, char (&buffer)[N]) {
    if (text.size() > N) {
        return {};
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        buffer[i] = lowerAscii(text[i]);
    }
    return {buffer, text.size()};
}

// Whether `a` and `b` are equal once every ASCII letter is lowered (toLower's rule).
constexpr bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Words looked up in any letter case (equalsIgnoringCase), each naming one T: an
// open-addressed hash table on a word's length and its first and last letters, so that a
// lookup compares one word, seldom two, and an unknown word mostly none. A word matching
// the spelling it was added with is settled by one exact comparison.
template <typename T, std::size_t Slots>
class WordIndex {
public:
    // Adds a word that is neither empty nor there already; at most Slots / 2 in all, so that a
    // free slot is always near.
    constexpr void add(std::string_view word, const T* value) {
        std::size_t slot = slotOf(word);
        while (!slots[slot].word.empty()) {
            slot = (slot + 1) % Slots;
        }
        slots[slot] = {word, value};
    }

    // What `word` names, or null.
    constexpr const T* find(std::string_view word) const {
        if (word.empty()) {
            return nullptr;
        }
        for (std::size_t slot = slotOf(word);; slot = (slot + 1) % Slots) {
            const Slot& candidate = slots[slot];
            if (candidate.word.empty()) {
                return nullptr;
            }
            if (word == candidate.word || equalsIgnoringCase(word, candidate.word)) {
                return candidate.value;
            }
        }
    }

private:
    struct Slot {
        std::string_view word;  // empty: a free slot
        const T* value = nullptr;
    };

    static constexpr std::size_t slotOf(std::string_view word) {
        const auto letter = [](char ch) {
            return static_cast<std::size_t>(static_cast<unsigned char>(lowerAscii(ch)));
        };
        return (word.size() * 131 + letter(word.front()) * 31 + letter(word.back())) % Slots;
    }

    std::array<Slot, Slots> slots{};
};

// The fixed words of the protocol and the menu, as views of static text. The *Text forms
// (boolText, onOff, activeInactive) are the same words as strings.
constexpr std::string_view boolWord(bool value) { return value ? "true" : "false"; }
constexpr std::string_view onOffWord(bool value) { return value ? "on" : "off"; }
constexpr std::string_view activeInactiveWord(bool value) { return value ? "active" : "inactive"; }
constexpr std::string_view motorWord(bool moving) { return moving ? "moving" : "stopped"; }
constexpr std::string_view blockedClearWord(bool blocked) { return blocked ? "blocked" : "clear"; }
inline std::string boolText(bool value) { return std::string(boolWord(value)); }
inline std::string onOff(bool value) { return std::string(onOffWord(value)); }
inline std::string activeInactive(bool value) { return std::string(activeInactiveWord(value)); }

// Accepts, in any letter case, the true words 1 true on yes y active blocked and the false
// words 0 false off no n inactive clear. Writes `out` only on success.
bool parseBoolToken(std::string_view token, bool& out);

// Accepts optional leading white space, an optional sign and decimal digits, nothing after
// them, within the range of int (leading zeros allowed). Writes `out` only on success.
bool parseIntToken(std::string_view token, int& out);

// A wait duration: one or more decimal digits, then optionally the unit "ms" or "s" in any
// letter case (none means milliseconds), at most 2147483647 ms in all. Writes `out` only on
// success.
bool parseDurationToken(std::string_view token, std::chrono::milliseconds& out);

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
#if defined(__SSE2__)
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

// Bit i set where byte i of the 16 bytes at `bytes` is not white space (isBlank).
inline unsigned nonBlankBits16(const char* bytes) {
#if defined(__SSE2__)
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
#if defined(__SSE2__)
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
    return std::memcmp(a, b, size) == 0;
#endif
}

// Whether `line`, whose storage goes on for ChunkSize bytes after it, has no tokens for
// certain: it is all white space, or its first other byte begins a comment. False may also
// mean that it is empty, or that its first 33 bytes are white space and it goes on.
inline bool blankOrCommentLine(std::string_view line) {
    static_assert(ChunkSize >= 32);
    // Most lines begin with their first token: that byte settles it.
    // (One table lookup, not two tests: comment lines and blank ones come in any order.)
    static constexpr std::array<bool, 256> MayBeginNoToken = [] {
        std::array<bool, 256> table = BlankBytes;
        table['#'] = true;
        return table;
    }();
    if (!MayBeginNoToken[static_cast<unsigned char>(*line.data())]) {
        return false;
    }
    // The first byte that is not white space, or byte 32 (in the line or its padding) if the
    // first 32 are. Either way, a '#' there begins a comment after nothing but white space.
    auto first = static_cast<std::size_t>(std::countr_zero(nonBlankBits16(line.data()) | 0x10000U));
    if (first == 16) {
        first +=
            static_cast<std::size_t>(std::countr_zero(nonBlankBits16(line.data() + 16) | 0x10000U));
    }
    return (static_cast<unsigned>(first >= line.size()) |
            static_cast<unsigned>(line.data()[first] == '#')) != 0;
}

// How the storage of a text ends. Padded: at least ChunkSize readable bytes follow the text
// (whatever they hold), so that it can be read in whole blocks past its end.
enum class Storage { Exact, Padded };

// The white-space separated tokens of `line`, never empty ones, as views into `line` (valid
// while `line` is), into `tokens` (cleared first, then push_back of each) so that a caller
// can reuse its storage. The one tokenizer: the forms below and the script runner use it.
//
// Each block of 16 bytes is read into a bit mask of its token bytes, and the tokens begin
// and end where that mask changes, found with bit operations, not byte by byte. A Padded
// line is read so to its end, its last block cut off at the end of the line; of any other,
// the bytes after the last whole block are read one by one.
template <typename Tokens>
void splitInto(std::string_view line, Tokens& tokens, Storage storage = Storage::Exact) {
    constexpr std::size_t Block = 16;
    tokens.clear();
    const char* const data = line.data();
    const std::size_t size = line.size();
    const char* start = nullptr;  // of the token being read, if one is open
    std::size_t at = 0;
    const std::size_t blocks = storage == Storage::Padded ? size : size - size % Block;
    for (; at < blocks; at += Block) {
        unsigned words = nonBlankBits16(data + at);
        if (size - at < Block) {
            words &= (1U << (size - at)) - 1;  // the line's end ends any token
        }
        const unsigned before = start != nullptr ? 1U : 0U;
        // Bit i: byte i starts a token or is the first byte after one. They alternate.
        unsigned edges = (words ^ ((words << 1) | before)) & 0xFFFFU;
        // The offset of the lowest edge left, taken off.
        const auto lowestEdge = [](unsigned& bits) {
            const auto offset = static_cast<std::size_t>(std::countr_zero(bits));
            bits &= bits - 1;
            return offset;
        };
        if (start != nullptr && edges != 0) {  // the token begun in an earlier block ends here
            const char* const end = data + at + lowestEdge(edges);
            tokens.push_back(std::string_view(start, static_cast<std::size_t>(end - start)));
            start = nullptr;
        }
        while (edges != 0) {
            const char* const first = data + at + lowestEdge(edges);
            if (edges == 0) {  // the token runs on into the next block
                start = first;
                break;
            }
            const char* const end = data + at + lowestEdge(edges);
            tokens.push_back(std::string_view(first, static_cast<std::size_t>(end - first)));
        }
    }
    const char* pos = data + std::min(at, size);
    const char* const end = data + size;
    for (;;) {
        if (start == nullptr) {
            while (pos != end && isBlank(*pos)) {
                ++pos;
            }
            if (pos == end) {
                return;
            }
            start = pos;
        }
        while (pos != end && !isBlank(*pos)) {
            ++pos;
        }
        tokens.push_back(std::string_view(start, static_cast<std::size_t>(pos - start)));
        start = nullptr;
    }
}

// The first few tokens of a line, and how many there are in all, without allocating: no
// script command reads more than its first four tokens, but every error counts them all.
class TokenList {
public:
    static constexpr std::size_t Capacity = 4;

    void clear() { count = 0; }
    void push_back(std::string_view token) {
        if (count < Capacity) {
            views[count] = token;
        }
        ++count;
    }
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    // Token `index`, which must be below both size() and Capacity.
    std::string_view operator[](std::size_t index) const { return views[index]; }

private:
    std::array<std::string_view, Capacity> views{};
    std::size_t count = 0;
};

// splitInto with a vector.
inline void splitViews(std::string_view line, std::vector<std::string_view>& tokens) {
    splitInto(line, tokens);
}
// The same tokens as strings.
std::vector<std::string> split(const std::string& line);

// `line` cut at its first '#', as a view into `line`; white space before the '#' stays. The
// script runner uses this form.
std::string_view stripCommentView(std::string_view line);
// The same as a string.
inline std::string stripComment(const std::string& line) {
    return std::string(stripCommentView(line));
}

}  // namespace zelk::sim
