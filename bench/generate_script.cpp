// Writes a large scenario script to standard output, its lines drawn pseudo-randomly from
// one mix:
//   mixed     every command and alias, passing and failing expects, every kind of error
//             line, comments and blank lines (the default)
//   state     events and status: a STATE line for every line
//   expect    passing and failing expects on every field
//   errors    unknown commands and rejected arguments
//   comments  comment lines, blank lines and commented-out commands: no transcript at all
//   long      commands with 100 to 300 characters of blanks and comments around them
//   unique    no line twice: each ends in its own line number (settings, expects, unknown
//             commands), the worst case for a runner that remembers lines it has seen
//
//   generate_script LINES [SEED] [MIX]

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view Mixed[] = {
    "power",
    "start",
    "dust",
    "timer-expired",
    "timer_expired",
    "obstacle 1 0 0",
    "obstacle clear blocked clear",
    "obstacle y n y",
    "low-battery",
    "low",
    "clear-low-battery",
    "clear-low",
    "battery 5",
    "set-battery 150",
    "charge",
    "charge-tick",
    "charging-tick 3",
    "charge-tick 2147483647",
    "stop-charge",
    "stop-charging",
    "status",
    "expect power on",
    "expect mode NormalMode",
    "expect battery 100",
    "expect motorDirection LEFT",
    "expect hasMode true",
    "# a comment line",
    "",
    "  start   # with a comment",
    "battery",
    "battery 50%",
    "charge-tick 0",
    "charge-tick x",
    "obstacle 1 0",
    "obstacle 1 maybe 0",
    "expect mode",
    "expect speed 3",
    "jump",
    "POWER",
    "Dust",
};

constexpr std::string_view State[] = {
    "power",          "start",          "status",      "dust",
    "obstacle 1 0 0", "obstacle 0 1 1", "status",      "low-battery",
    "battery 5",      "charge",         "charge-tick", "clear-low-battery",
    "timer-expired",  "start",          "status",      "stop-charge",
};

constexpr std::string_view Expect[] = {
    "expect power on",
    "expect power off",
    "expect charging off",
    "expect battery 100",
    "expect battery 5",
    "expect hasMode true",
    "expect mode StandbyMode",
    "expect mode Off",
    "expect dustSensor active",
    "expect obstacleSensor inactive",
    "expect cleaner off",
    "expect cleanerMode off",
    "expect motor stopped",
    "expect motorForward false",
    "expect motorDirection FRONT",
    "power",
};

constexpr std::string_view Errors[] = {
    "jump",          "fly now",        "battery",        "battery 50%",  "battery x y",
    "charge-tick 0", "charge-tick -3", "charge-tick x",  "obstacle 1 0", "obstacle 1 maybe 0",
    "obstacle",      "expect mode",    "expect speed 3", "expect a b c", "wait 5s",
    "POWERR",
};

constexpr std::string_view Comments[] = {
    "# a comment line",
    "",
    "   ",
    "\t# an indented comment",
    "#power",
    "# start # dust",
    "########",
    "  # expect mode NormalMode",
};

// Each line is two literals joined, on purpose: no comma is missing between them.
// NOLINTBEGIN(bugprone-suspicious-missing-comma)
constexpr std::string_view Long[] = {
    "power                                                                        "
    "                                   # switch it on, then look at what it does",
    "      start          # the start button: from standby the cleaner starts "
    "cleaning in normal mode, with the motor running forward and the suction on",
    "obstacle    1    0    0      # the front is blocked, left and right are clear: "
    "the motor turns left and keeps going; in standby nothing moves at all, though",
    "expect        mode        NormalMode        # only after start from standby; "
    "other modes fail this expectation, which the transcript then reports in full",
    "                                                                          dust "
    "                                                                    # boost",
    "status   # every field of the controller at once, as one STATE line of text: "
    "power, charging, battery, mode, sensors, cleaner, motor and its heading too",
};
// NOLINTEND(bugprone-suspicious-missing-comma)

// Each followed by the line's number.
constexpr std::string_view Unique[] = {
    "battery ",
    "expect battery ",
    "charge-tick ",
    "x",
};

struct Mix {
    std::string_view name;
    std::span<const std::string_view> lines;
    bool numbered = false;  // each line ends in its number
};

constexpr Mix Mixes[] = {
    {"mixed", Mixed},       {"state", State}, {"expect", Expect},       {"errors", Errors},
    {"comments", Comments}, {"long", Long},   {"unique", Unique, true},
};

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mixName = argc > 3 ? argv[3] : "mixed";
    const Mix* mix = nullptr;
    for (const Mix& candidate : Mixes) {
        if (candidate.name == mixName) {
            mix = &candidate;
        }
    }
    if (argc < 2 || mix == nullptr) {
        std::cerr << "usage: generate_script LINES [SEED] "
                     "[mixed|state|expect|errors|comments|long|unique]\n";
        return 2;
    }
    const long long count = std::atoll(argv[1]);
    std::uint64_t state = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 42;
    std::ios::sync_with_stdio(false);
    std::string out;
    for (long long i = 0; i < count; ++i) {
        // xorshift64: the same seed gives the same script.
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        out += mix->lines[state % mix->lines.size()];
        if (mix->numbered) {
            out += std::to_string(i + 1);
        }
        out += '\n';
        if (out.size() > (1 << 16)) {
            std::cout << out;
            out.clear();
        }
    }
    std::cout << out;
    return 0;
}
