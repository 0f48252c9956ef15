#pragma once

// Token and text helpers of the simulator: cutting a script line into tokens, reading
// boolean and integer arguments, and the fixed words of the output protocol. They hold no
// state, print nothing and throw nothing. Case handling is plain ASCII ("C" locale).

#include <string>
#include <vector>

namespace zelk::sim {

// Every ASCII letter lowered; other bytes (UTF-8 included) pass through unchanged.
std::string toLower(std::string value);

std::string boolText(bool value);        // "true" / "false"
std::string onOff(bool value);           // "on" / "off"
std::string activeInactive(bool value);  // "active" / "inactive"

// Accepts, in any letter case, the true words 1 true on yes y active blocked and the false
// words 0 false off no n inactive clear. Writes `out` only on success.
bool parseBoolToken(const std::string& token, bool& out);

// Accepts optional leading white space, an optional sign and decimal digits, nothing after
// them, within the range of int (leading zeros allowed). Writes `out` only on success.
bool parseIntToken(const std::string& token, int& out);

// The white-space separated tokens of `line` (space, \t, \n, \v, \f, \r); never empty ones.
std::vector<std::string> split(const std::string& line);

// `line` cut at its first '#'. White space before the '#' stays.
std::string stripComment(std::string line);

}  // namespace zelk::sim
