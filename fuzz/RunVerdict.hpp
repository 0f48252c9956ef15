#pragma once

// The check every script-runner fuzz target makes: whatever the input, a run ends with
// exactly one RESULT line, and that line agrees with the exit status.

#include <cstdlib>
#include <string>
#include <string_view>

#include "Protocol.hpp"

inline void requireOneVerdict(const std::string& transcript, int status) {
    const std::string ending = "\n" + std::string(zelk::sim::resultLine(status != 0)) + "\n";
    if ((status != 0 && status != 1) || !transcript.ends_with(ending)) {
        std::abort();
    }
}
