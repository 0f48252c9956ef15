#include "TokenParsers.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <system_error>
#include <utility>

#include "AsciiCase.hpp"
#include "ByteMasks.hpp"

namespace zelk::sim {
namespace {

constexpr std::array<std::string_view, 7> TrueWords{"1", "true",   "on",     "yes",
                                                    "y", "active", "blocked"};
constexpr std::array<std::string_view, 7> FalseWords{"0", "false",    "off",  "no",
                                                     "n", "inactive", "clear"};

// A word of at most eight bytes as one number, its first byte lowest, and its length.
struct PackedWord {
    std::uint64_t bytes = 0;
    std::size_t size = 0;
    bool value = false;
};

constexpr std::uint64_t packBytes(std::string_view word) {
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
        bytes |= std::uint64_t{static_cast<unsigned char>(word[i])} << (8 * i);
    }
    return bytes;
}

// The fourteen words, each compared as one number: the obstacle command reads three.
constexpr std::array<PackedWord, 14> PackedWords = [] {
    std::array<PackedWord, 14> words{};
    std::size_t at = 0;
    for (const auto& [list, value] : {std::pair{TrueWords, true}, std::pair{FalseWords, false}}) {
        for (const std::string_view word : list) {
            words[at++] = {packBytes(word), word.size(), value};
        }
    }
    return words;
}();
static_assert(
    [] {
        for (const PackedWord& word : PackedWords) {
            if (word.size == 0 || word.size > 8) {
                return false;
            }
        }
        return true;
    }(),
    "every word fits one number");

}  // namespace

bool parseBoolToken(std::string_view token, bool& out) {
    if (token.empty() || token.size() > 8) {
        return false;  // no word is empty or longer than eight bytes
    }
    std::uint64_t lowered = 0;
    for (std::size_t i = 0; i < token.size(); ++i) {
        lowered |= std::uint64_t{static_cast<unsigned char>(lowerAscii(token[i]))} << (8 * i);
    }
    for (const PackedWord& word : PackedWords) {
        if (word.bytes == lowered && word.size == token.size()) {
            out = word.value;
            return true;
        }
    }
    return false;
}

bool parseIntToken(std::string_view token, int& out) {
    const char* first = token.data();
    const char* const last = token.data() + token.size();
    while (first != last && isBlank(*first)) {
        ++first;
    }
    // from_chars takes a minus sign but no plus sign; a plus must be followed by a digit.
    if (first != last && *first == '+') {
        ++first;
        if (first == last || *first == '-') {
            return false;
        }
    }
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc{} || end != last) {
        return false;
    }
    out = value;
    return true;
}

bool parseDurationToken(std::string_view token, std::chrono::milliseconds& out) {
    constexpr long long MaxMilliseconds = 2147483647;
    std::size_t digits = 0;
    while (digits < token.size() && token[digits] >= '0' && token[digits] <= '9') {
        ++digits;
    }
    const std::string_view unit = token.substr(digits);
    long long scale = 0;
    if (unit.empty() || equalsIgnoringCase(unit, "ms")) {
        scale = 1;
    } else if (equalsIgnoringCase(unit, "s")) {
        scale = 1000;
    }
    if (digits == 0 || scale == 0) {
        return false;
    }
    long long value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        value = value * 10 + (token[i] - '0');
        if (value * scale > MaxMilliseconds) {
            return false;  // checked at every digit, so the arithmetic cannot overflow
        }
    }
    out = std::chrono::milliseconds(value * scale);
    return true;
}

}  // namespace zelk::sim
