#pragma once

// Finding the scripts of a suite and running them in one process, each on a controller of
// its own, on a manual clock (or in real time), several at once.
//
// A run is streamed: each script is read in blocks, its transcript goes straight to its
// file (or nowhere), and its verdict and its first problem lines are taken as they pass. What
// a suite keeps of each script is its result, whatever the size of the script or its
// transcript.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "Coverage.hpp"
#include "Options.hpp"
#include "RunCache.hpp"
#include "Script.hpp"

namespace zelk::suite {

struct Discovery {
    std::vector<ScriptEntry> scripts;  // sorted by path, no path twice
    std::vector<DiscoveryError> errors;
    // The snapshots (*.out) of the searched directories whose script (NAME.zelk beside them)
    // is gone, sorted.
    std::vector<std::string> obsoleteSnapshots;
};

// Each argument is a script or a directory searched recursively for *.zelk. A directory's
// *.zelk are its regular files and links to regular files; any other is an error. A path
// named as an argument is a script whatever it is (a pipe, as from zelk_suite <(generate), or a
// device), and one that does not exist is kept, so that the run reports why it cannot be
// opened.
Discovery discoverScripts(const std::vector<std::string>& arguments);

// The `index`-th (1-based) of `count` contiguous, disjoint slices of `scripts`.
std::vector<ScriptEntry> shard(const std::vector<ScriptEntry>& scripts, std::size_t index,
                               std::size_t count);

// Whether a script expects RESULT FAIL: its first line begins with the protocol's marker.
bool expectsFailure(std::string_view firstLine);

// How one script is run.
struct RunSettings {
    bool realTime = false;
    CoverageData* coverage = nullptr;  // what the script exercised is added to it
    std::uint32_t scriptIndex = 0;     // its place in the run's list, for coverage's credit
    std::size_t maxProblems = 10;
    sim::RunCache* cache = nullptr;  // kept across the runs of one thread, if given
};

// Runs one script read from `input`, its transcript (byte for byte zelk_simulator's, after
// the banner line, which the caller writes) written to `transcript` as it comes.
ScriptResult runScriptStream(const ScriptEntry& entry, std::istream& input,
                             std::ostream& transcript, const RunSettings& settings);

// The same from a script's text; the transcript goes into `*transcript` if given.
ScriptResult runScriptText(const ScriptEntry& entry, const std::string& text, bool realTime,
                           CoverageData* coverage, std::string* transcript);

struct SuiteOptions {
    unsigned jobs = 1;
    bool realTime = false;
    bool coverage = false;
    std::size_t maxProblems = 10;
    std::string transcriptDir;  // empty: transcripts are not written
    SnapshotMode snapshots = SnapshotMode::Check;
    bool failFast = false;  // start no script after one that did not pass
    // Called after each script, from the thread that ran it, one call at a time.
    std::function<void(std::size_t done, std::size_t total, const ScriptResult&)> progress;
};

struct SuiteRun {
    std::vector<ScriptResult> results;  // in the order of the scripts, whatever the parallelism
    CoverageData coverage;              // of every script, with SuiteOptions::coverage
};

SuiteRun runSuite(const std::vector<ScriptEntry>& scripts, const SuiteOptions& options);

}  // namespace zelk::suite
