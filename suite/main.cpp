// zelk_suite: runs whole suites of scenario scripts in one process, each on a controller of
// its own with a virtual clock, and reports the scripts that did not end as expected and
// what the suite covered of the cleaner's state machine.

#include <algorithm>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "Coverage.hpp"
#include "Exploration.hpp"
#include "Options.hpp"
#include "Suite.hpp"
#include "reports/Reports.hpp"

namespace {

using namespace zelk::suite;

// Writes a report to `path` through `render`; false, with a message, when it cannot be
// written.
template <typename Render>
bool writeReport(const std::string& path, Render&& render) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) {
        render(out);
        out.close();
    }
    if (!out) {
        std::cerr << "zelk_suite: cannot write " << path << '\n';
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CommandLine options;
    if (const int status = parseCommandLine(argc, argv, options, std::cout, std::cerr);
        status >= 0) {
        std::cout.flush();
        return status;
    }
    if (options.stateDiagram) {
        writeStateDiagram(std::cout, exploreMachine());
        std::cout.flush();
        return std::cout ? 0 : 1;
    }

    const Discovery found = discoverScripts(options.paths);
    if (found.scripts.empty() && found.errors.empty()) {
        std::cout << "0 passed, 0 failed\n";
        std::cerr << "zelk_suite: no *.zelk script found\n";
        return 1;
    }
    const std::vector<ScriptEntry> scripts =
        shard(found.scripts, options.shardIndex, options.shardCount);

    if (!options.transcripts.empty()) {
        // Two scripts named directly in different folders can share a file name: one
        // transcript would overwrite the other.
        std::map<std::string, std::string> names;
        for (const ScriptEntry& entry : scripts) {
            const auto [it, added] = names.emplace(entry.transcriptName, entry.path);
            if (!added) {
                std::cerr << "zelk_suite: '" << it->second << "' and '" << entry.path
                          << "' would both write the transcript " << entry.transcriptName
                          << ".out\n"
                          << SuiteUsage.substr(0, SuiteUsage.find('\n') + 1)
                          << "Try 'zelk_suite --help' for more information.\n";
                return 2;
            }
        }
    }

    SuiteOptions suite;
    suite.jobs =
        options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());
    suite.realTime = options.realTime;
    suite.coverage = options.coverage || !options.coverageJson.empty() || options.failUnder >= 0 ||
                     options.outcomesFailUnder >= 0;
    suite.transcriptDir = options.transcripts;
    suite.maxProblems = options.maxProblems;
    const bool showProgress = isatty(STDERR_FILENO) != 0 && scripts.size() > 1;
    if (showProgress) {
        suite.progress = [](std::size_t done, std::size_t total, const ScriptResult& result) {
            std::cerr << "\r\033[K[" << done << '/' << total << "] " << result.path << std::flush;
        };
    }
    // The exploration of the state machine runs while the scripts do (on a thread of its own
    // where one can be had).
    std::future<ReachableMachine> exploration;
    if (suite.coverage) {
        exploration = std::async(std::launch::async | std::launch::deferred, exploreMachine);
    }
    const SuiteRun run = runSuite(scripts, suite);
    const std::vector<ScriptResult>& results = run.results;
    if (showProgress) {
        std::cerr << "\r\033[K" << std::flush;
    }

    std::size_t passed = 0;
    std::size_t failed = found.errors.size();
    std::string report;
    for (const DiscoveryError& error : found.errors) {
        report += "FAIL " + error.path + ": " + error.reason + "\n";
    }
    for (const ScriptResult& result : results) {
        if (result.passed) {
            ++passed;
            continue;
        }
        ++failed;
        report += "FAIL " + result.path + ": " + failureSummary(result) + "\n";
        report += problemLines(result);
    }
    std::cout << report;

    int status = failed == 0 ? 0 : 1;
    if (suite.coverage) {
        const CoverageData& total = run.coverage;
        std::vector<std::string> paths;
        paths.reserve(results.size());
        for (const ScriptResult& result : results) {
            paths.push_back(result.path);
        }
        const ReachableMachine machine = exploration.get();
        if (options.coverage) {
            writeCoverageText(std::cout, total, machine);
        }
        if (!options.coverageJson.empty() &&
            !writeReport(options.coverageJson, [&](std::ostream& out) {
                writeCoverageJson(out, total, machine, paths);
            })) {
            status = 1;
        }
        const CoverageSummary summary = summarize(total, machine);
        if (options.failUnder >= 0 && summary.percent() < options.failUnder) {
            std::cerr << "zelk_suite: transitions covered " << summary.covered << '/'
                      << summary.reachable << " (" << summary.percent() << "%), under the "
                      << options.failUnder << "% required\n";
            status = 1;
        }
        if (options.outcomesFailUnder >= 0 &&
            summary.outcomePercent() < options.outcomesFailUnder) {
            std::cerr << "zelk_suite: outcomes covered " << summary.outcomesCovered << '/'
                      << summary.outcomesReachable << " (" << summary.outcomePercent()
                      << "%), under the " << options.outcomesFailUnder << "% required\n";
            status = 1;
        }
    }
    if (!options.junit.empty() && !writeReport(options.junit, [&](std::ostream& out) {
            writeJunit(out, results, found.errors, failed);
        })) {
        status = 1;
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "zelk_suite: cannot write output\n";
        return 1;
    }
    return status;
}
