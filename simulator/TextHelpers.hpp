#pragma once

// Token and text helpers of the simulator: cutting a script line into tokens, reading
// boolean and integer arguments, and the fixed words of the output protocol. They hold no
// state, print nothing and throw nothing. Case handling is plain ASCII ("C" locale).

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::sim {

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

// The white-space separated tokens of `line` (space, \t, \n, \v, \f, \r), never empty
// ones, as views into `line` (valid while `line` is), into `tokens` (cleared first) so that
// a caller can reuse its storage. The script runner uses this form.
void splitViews(std::string_view line, std::vector<std::string_view>& tokens);
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
