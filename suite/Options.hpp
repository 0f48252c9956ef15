#pragma once

// The command line of zelk_suite.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::suite {

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
    bool stateDiagram = false;
    std::vector<std::string> paths;
};

// The help text.
extern const std::string_view SuiteUsage;

// Parses the arguments as getopt_long does (--opt=value or --opt value, -- ends the
// options). Returns -1 when the run should go on; otherwise the exit status, having written
// the help or version to `out`, or a usage error to `error` (status 2).
int parseCommandLine(int argc, char** argv, CommandLine& options, std::ostream& out,
                     std::ostream& error);

}  // namespace zelk::suite
