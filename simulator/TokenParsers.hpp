#pragma once

// The arguments of script commands: booleans, integers and wait durations. Each parser
// writes its out-parameter only on success, prints nothing and throws nothing.

#include <chrono>
#include <string_view>

namespace zelk::sim {

// Accepts, in any letter case, the true words 1 true on yes y active blocked and the false
// words 0 false off no n inactive clear.
bool parseBoolToken(std::string_view token, bool& out);

// Accepts optional leading white space, an optional sign and decimal digits, nothing after
// them, within the range of int (leading zeros allowed).
bool parseIntToken(std::string_view token, int& out);

// A wait duration: one or more decimal digits, then optionally the unit "ms" or "s" in any
// letter case (none means milliseconds), at most 2147483647 ms in all.
bool parseDurationToken(std::string_view token, std::chrono::milliseconds& out);

}  // namespace zelk::sim
