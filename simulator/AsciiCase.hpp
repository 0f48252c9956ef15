#pragma once

// Letter case in plain ASCII, as the classic "C" locale has it (this program never sets
// another): only A to Z change; digits, punctuation and every byte from 0x80 up, UTF-8
// included, pass through unchanged.

#include <cstddef>
#include <string>
#include <string_view>

namespace zelk::sim {

// `ch` lowered if it is an ASCII letter A to Z: what tolower does in the "C" locale. Spelled
// out, it is several times faster than the library call.
constexpr char lowerAscii(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// Every ASCII letter of `value` lowered.
std::string toLower(std::string value);

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

}  // namespace zelk::sim
