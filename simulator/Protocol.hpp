#pragma once

// The fixed texts of the script protocol, each written here once: the words that open its
// lines, the verdicts, the words of the STATE line and the menu, and the marker by which a
// script says it is meant to fail. The runner writes them, zelk_suite reads them back, and
// the build reads the marker from this file for the scenario tests.

#include <string>
#include <string_view>

namespace zelk::sim {

// The beginnings of the protocol's lines; each is followed by what the line reports.
inline constexpr std::string_view BannerPrefix = "ZELK Simulator CLI script=";
inline constexpr std::string_view CommandPrefix = "COMMAND line=";
inline constexpr std::string_view InputPrefix = " input=\"";
inline constexpr std::string_view OkPrefix = "OK ";
inline constexpr std::string_view ErrorPrefix = "ERROR line=";
inline constexpr std::string_view ExpectOkPrefix = "EXPECT_OK ";
inline constexpr std::string_view ExpectFailPrefix = "EXPECT_FAIL line=";

// The verdict, the last line of every transcript.
inline constexpr std::string_view ResultPass = "RESULT PASS";
inline constexpr std::string_view ResultFail = "RESULT FAIL";
constexpr std::string_view resultLine(bool failed) { return failed ? ResultFail : ResultPass; }

// A script whose first line begins with this is expected to end in RESULT FAIL.
inline constexpr std::string_view ExpectedFailureMarker = "# Expected result: FAIL";

// The fixed words of the STATE line, the expect fields and the menu, as views of static
// text. The *Text forms are the same words as strings.
constexpr std::string_view boolWord(bool value) { return value ? "true" : "false"; }
constexpr std::string_view onOffWord(bool value) { return value ? "on" : "off"; }
constexpr std::string_view activeInactiveWord(bool value) { return value ? "active" : "inactive"; }
constexpr std::string_view motorWord(bool moving) { return moving ? "moving" : "stopped"; }
constexpr std::string_view blockedClearWord(bool blocked) { return blocked ? "blocked" : "clear"; }
inline std::string boolText(bool value) { return std::string(boolWord(value)); }
inline std::string onOff(bool value) { return std::string(onOffWord(value)); }
inline std::string activeInactive(bool value) { return std::string(activeInactiveWord(value)); }

}  // namespace zelk::sim
