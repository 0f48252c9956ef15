#pragma once

// The check every script-runner fuzz target makes: whatever the input, a run ends with
// exactly one RESULT line, and that line agrees with the exit status.

#include <cstdlib>
#include <string>
#include <string_view>

inline void requireOneVerdict(const std::string& transcript, int status) {
    const std::string_view ending = status == 0 ? "\nRESULT PASS\n" : "\nRESULT FAIL\n";
    if ((status != 0 && status != 1) || transcript.size() < ending.size() ||
        transcript.compare(transcript.size() - ending.size(), ending.size(), ending) != 0) {
        std::abort();
    }
}
