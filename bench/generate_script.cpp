// Writes a large mixed scenario script to standard output: every command and alias,
// passing and failing expects, and every kind of error line, in a fixed pseudo-random mix.
//
//   generate_script LINES [SEED]

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view Lines[] = {
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
constexpr std::uint64_t LineKinds = sizeof(Lines) / sizeof(Lines[0]);

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: generate_script LINES [SEED]\n";
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
        out += Lines[state % LineKinds];
        out += '\n';
        if (out.size() > (1 << 16)) {
            std::cout << out;
            out.clear();
        }
    }
    std::cout << out;
    return 0;
}
