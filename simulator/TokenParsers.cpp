#include "TokenParsers.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <system_error>

#include "AsciiCase.hpp"
#include "ByteMasks.hpp"

namespace zelk::sim {
namespace {

constexpr std::array<std::string_view, 7> TrueWords{"1", "true",   "on",     "yes",
                                                    "y", "active", "blocked"};
constexpr std::array<std::string_view, 7> FalseWords{"0", "false",    "off",  "no",
                                                     "n", "inactive", "clear"};

bool contains(const std::array<std::string_view, 7>& words, std::string_view value) {
    return std::find(words.begin(), words.end(), value) != words.end();
}

}  // namespace

bool parseBoolToken(std::string_view token, bool& out) {
    char buffer[8];  // as long as the longest word
    const std::string_view value = lowerInto(token, buffer);
    if (value.empty() && !token.empty()) {
        return false;  // longer than every word
    }
    if (contains(TrueWords, value)) {
        out = true;
        return true;
    }
    if (contains(FalseWords, value)) {
        out = false;
        return true;
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
