#pragma once

// The command line of zelk_suite: one table of options that both parses the arguments and
// writes the help text.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::suite {

// What --snapshots asks for (see Snapshots.hpp).
enum class SnapshotMode { Check, Require, New, All, Ignore };

struct CommandLine {
    unsigned jobs = 0;  // 0: the hardware threads
    std::string transcripts;
    std::string junit;
    std::size_t shardIndex = 1;
    std::size_t shardCount = 1;
    bool realTime = false;
    bool coverage = false;
    std::string coverageJson;
    int failUnder = -1;          // -1: no gate
    int outcomesFailUnder = -1;  // -1: no gate
    std::size_t maxProblems = 10;
    SnapshotMode snapshots = SnapshotMode::Check;
    bool list = false;
    std::vector<std::string> filters;   // -k: a script runs if any matches (none: all run)
    std::vector<std::string> excludes;  // --exclude: a script that matches any does not run
    bool failFast = false;
    bool lastFailed = false;
    std::string cacheDir = ".zelk_suite";
    std::size_t durations = 0;  // 0: none listed
    std::string coverageHtml;
    std::string coverageMarkdown;
    std::string generate;  // --generate DIR
    bool force = false;
    bool mergeCoverage = false;
    bool stateDiagram = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> paths;
};

// The help text.
std::string suiteUsage();

// Parses the arguments as getopt_long does (--opt=value or --opt value, -- ends the
// options). Returns -1 when the run should go on; otherwise the exit status, having written
// the help or version to `out`, or a usage error to `error` (status 2).
int parseCommandLine(int argc, char** argv, CommandLine& options, std::ostream& out,
                     std::ostream& error);

// A usage error's message, with the usage line and a pointer to --help; returns 2.
int reportUsageError(std::ostream& error, std::string_view message);

}  // namespace zelk::suite
