#pragma once

// Text made safe for the suite's XML reports. Script paths are user data: any bytes,
// quotes, markup characters and line breaks included. Text that is not valid UTF-8 is
// repaired by putting U+FFFD in place of each bad byte, so the result is always
// well-formed. (The JSON reports are written through nlohmann-json, which repairs the same
// way.)

#include <string>
#include <string_view>

namespace zelk::suite {

// `text` as valid UTF-8: every byte that does not start a complete, shortest-form sequence
// of a Unicode scalar value becomes U+FFFD.
std::string toValidUtf8(std::string_view text);

// Text for XML 1.0 character data or a double-quoted attribute value. Characters that XML
// 1.0 forbids (most C0 controls) become U+FFFD; in attributes tab, line feed and carriage
// return are written as character references so that they survive normalisation.
std::string xmlText(std::string_view text);
std::string xmlAttribute(std::string_view text);

}  // namespace zelk::suite
