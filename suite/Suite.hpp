#pragma once

// Finding the scripts of a suite and running them in one process, each on a controller of
// its own, on a manual clock (or in real time), several at once.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Coverage.hpp"

namespace zelk::suite {

// A script to run: its path as found, and the name its transcript is written under.
struct ScriptEntry {
    std::string path;
    std::string transcriptName;  // relative to the directory that found it, without .zelk
};

// A directory that could not be searched: reported as a failure, never skipped silently.
struct DiscoveryError {
    std::string path;
    std::string reason;
};

struct Discovery {
    std::vector<ScriptEntry> scripts;  // sorted by path, no path twice
    std::vector<DiscoveryError> errors;
};

// Each argument is a script or a directory searched recursively for *.zelk. A path that
// does not exist is kept as a script, so that the run reports why it cannot be opened.
Discovery discoverScripts(const std::vector<std::string>& arguments);

// The `index`-th (1-based) of `count` contiguous, disjoint slices of `scripts`.
std::vector<ScriptEntry> shard(const std::vector<ScriptEntry>& scripts, std::size_t index,
                               std::size_t count);

// Whether a script expects RESULT FAIL: its first line reads "# Expected result: FAIL".
bool expectsFailure(std::string_view script);

// An ERROR or EXPECT_FAIL line of a transcript, with its script line number.
struct Problem {
    long long line;
    std::string text;
};

struct ScriptResult {
    std::string path;
    bool opened = false;
    std::string openError;  // why the script could not be read
    bool expectFailure = false;
    bool resultPass = false;  // the transcript's verdict
    bool passed = false;      // the verdict was the expected one
    std::vector<Problem> problems;
    std::chrono::duration<double> time{};
    std::string transcriptError;  // why the transcript could not be written, if it could not
};

// The ERROR and EXPECT_FAIL lines of a transcript.
std::vector<Problem> findProblems(std::string_view transcript);

struct SuiteOptions {
    unsigned jobs = 1;
    bool realTime = false;
    bool coverage = false;
    std::string transcriptDir;  // empty: transcripts are not written
    // Called after each script, from the thread that ran it, one call at a time.
    std::function<void(std::size_t done, std::size_t total, const ScriptResult&)> progress;
};

// Runs one script from its text; the transcript is byte for byte zelk_simulator's. With
// `coverage`, what the script exercised is added to it.
ScriptResult runScriptText(const ScriptEntry& entry, const std::string& text, bool realTime,
                           CoverageData* coverage, std::string* transcript);

struct SuiteRun {
    std::vector<ScriptResult> results;  // in the order of the scripts, whatever the parallelism
    CoverageData coverage;              // of every script, with SuiteOptions::coverage
};

SuiteRun runSuite(const std::vector<ScriptEntry>& scripts, const SuiteOptions& options);

}  // namespace zelk::suite
